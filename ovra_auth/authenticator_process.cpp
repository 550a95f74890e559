#include "ovra_auth/authenticator_process.hpp"

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/defer.hpp>
#include <process/id.hpp>

#include <stout/lambda.hpp>

#include "common/sentrel/jwk.hpp"

using std::shared_ptr;
using std::string;

using process::Clock;
using process::Failure;
using process::Future;
using process::Promise;

using mesos::sentrel::JWT;

namespace mesos {
namespace ovra {

OVRAHTTPAuthenticatorProcess::OVRAHTTPAuthenticatorProcess(
    const OVRAHTTPAuthenticator::Flags& flags,
    const Option<OVRAHTTPAuthenticator::SignatureValidator>&
      validateSignature,
    const HTTPAuthenticatorMetrics& metrics)
  : ProcessBase(process::ID::generate("ovra-http-authenticator")),
    flags_(flags),
    validateSignature_(validateSignature),
    metrics_(metrics)
{
  if (flags.jwks_cache_lifetime.isSome()) {
    cache_ = KeyCache(
        flags.jwks_cache_lifetime.get(),
        flags.jwks_refetch_interval,
        flags.jwks_fallback_lifetime);
  }
}


Future<bool> OVRAHTTPAuthenticatorProcess::validateSignature(
    const string& token,
    const JWT& jwt)
{
  if (validateSignature_.isSome()) {
    return validateSignature_.get()(token);
  }

  if (cache_.isSome()) {
    return validateWithCache(jwt);
  }

  return getSentrelPublicKey()
    .then(defer(self(), [jwt](const shared_ptr<RSA>& key) {
      return sentrel::validateSignature(jwt, key);
    }));
}


Future<shared_ptr<RSA>> OVRAHTTPAuthenticatorProcess::getSentrelPublicKey()
{
  if (sentrelPublicKeyPromise_.isSome()) {
    return sentrelPublicKeyPromise_->future();
  }

  sentrelPublicKeyPromise_ = Promise<shared_ptr<RSA>>();
  const Future<shared_ptr<RSA>> future = sentrelPublicKeyPromise_->future();

  ++metrics_.key_fetches;
  metrics_.key_fetch.time(sentrel::JWK::querySentrelPublicKey(
      sentrel::JWK::jwksURL(flags_.iam), flags_.network_timeout))
    .onAny(defer(self(), &Self::_getSentrelPublicKey, lambda::_1));

  return future;
}


void OVRAHTTPAuthenticatorProcess::finalize()
{
  if (sentrelPublicKeyPromise_.isSome()) {
    sentrelPublicKeyPromise_->fail(
        "Failed to obtain sentrel public key: the authenticator is being "
        "destroyed");
    sentrelPublicKeyPromise_ = None();
  }
}


Future<bool> OVRAHTTPAuthenticatorProcess::validateWithCache(const JWT& jwt)
{
  const process::Time now = Clock::now();

  const Option<shared_ptr<RSA>> fresh = cache_->fresh(now);
  if (fresh.isSome()) {
    ++metrics_.key_cache_hits;
    const Future<bool> valid = sentrel::validateSignature(jwt, fresh.get());
    if (!valid.isReady() || valid.get()) {
      return valid;
    }

    // The key set may have changed since it was fetched. A token the new
    // key does not verify either, or a failed fetch, is refused.
    const Option<Future<shared_ptr<RSA>>> refetch =
      fetchFor(now, "a token did not verify with the cached key");
    if (refetch.isNone()) {
      return false;
    }
    return refetch->then(defer(self(), [jwt](const shared_ptr<RSA>& key) {
        return sentrel::validateSignature(jwt, key);
      }))
      .repair([](const Future<bool>&) { return false; });
  }

  const Option<Future<shared_ptr<RSA>>> fetch =
    fetchFor(now, "the cached key set expired");
  if (fetch.isNone()) {
    return withLastGoodKey(
        jwt,
        cache_->lastFailure().getOrElse(
            "Failed to obtain sentrel public key: no key set fetched yet"));
  }

  return fetch->then(defer(self(), [jwt](const shared_ptr<RSA>& key) {
      return sentrel::validateSignature(jwt, key);
    }))
    .repair(defer(self(), [this, jwt](const Future<bool>& failed) {
      return withLastGoodKey(jwt, failed.failure());
    }));
}


Option<Future<shared_ptr<RSA>>> OVRAHTTPAuthenticatorProcess::fetchFor(
    const process::Time& now,
    const string& reason)
{
  if (sentrelPublicKeyPromise_.isSome()) {
    return sentrelPublicKeyPromise_->future();
  }

  if (!cache_->mayFetch(now)) {
    return None();
  }

  if (cache_->everFetched()) {
    ++metrics_.key_cache_refetches;
    LOG(INFO) << "Fetching the IAM key set again: " << reason;
  }
  cache_->fetchStarted(now);
  return getSentrelPublicKey();
}


Future<bool> OVRAHTTPAuthenticatorProcess::withLastGoodKey(
    const JWT& jwt,
    const string& failure)
{
  const Option<shared_ptr<RSA>> key = cache_->lastGood(Clock::now());
  if (key.isNone()) {
    return Failure(failure);
  }
  ++metrics_.key_cache_fallbacks;
  return sentrel::validateSignature(jwt, key.get());
}


void OVRAHTTPAuthenticatorProcess::_getSentrelPublicKey(
    const Future<shared_ptr<RSA>>& key)
{
  if (sentrelPublicKeyPromise_.isNone()) {
    return;
  }

  const string failure = key.isFailed()
    ? key.failure()
    : "Failed to obtain sentrel public key: the request was discarded";

  if (!key.isReady()) {
    ++metrics_.key_fetch_failures;
  }

  if (cache_.isSome()) {
    if (key.isReady()) {
      cache_->fetched(key.get(), Clock::now());
    } else {
      cache_->fetchFailed(failure, Clock::now());
      if (cache_->lastGood(Clock::now()).isSome()) {
        LOG(WARNING) << failure << "; the last good IAM key keeps serving "
                     << "until " << cache_->servesUntil().get();
      }
    }
  }

  if (key.isReady()) {
    sentrelPublicKeyPromise_->set(key.get());
  } else {
    sentrelPublicKeyPromise_->fail(failure);
  }

  // Without the cache the key is not kept: the next request fetches it
  // again.
  sentrelPublicKeyPromise_ = None();
}

} // namespace ovra {
} // namespace mesos {
