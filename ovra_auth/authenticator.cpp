#include "ovra_auth/authenticator.hpp"

#include <memory>
#include <vector>

#include <glog/logging.h>

#include <openssl/rsa.h>

#include <process/clock.hpp>
#include <process/defer.hpp>
#include <process/dispatch.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

#include <stout/lambda.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/audit_flags.hpp"
#include "common/sentrel/jwk.hpp"
#include "common/sentrel/jwt.hpp"
#include "ovra_auth/key_cache.hpp"

using std::shared_ptr;
using std::string;

using corvanta::LogFmt;

using process::Clock;
using process::Failure;
using process::Future;
using process::Owned;
using process::Promise;

using process::http::Request;
using process::http::Unauthorized;
using process::http::authentication::AuthenticationResult;

using mesos::sentrel::JWT;

namespace mesos {
namespace ovra {

namespace {

constexpr char SCHEME[] = "acsjwt";


// The token of an "Authorization: token=<JWT>" header; the token may be
// empty and may hold further '='.
Try<string> extractToken(const Request& request)
{
  const Option<string> authorization = request.headers.get("Authorization");
  if (authorization.isNone()) {
    return Error("Missing 'Authorization' header from HTTP request");
  }

  const std::vector<string> pieces =
    strings::split(authorization.get(), "=", 2);
  if (pieces.size() != 2 || pieces[0] != "token") {
    return Error("Missing 'token' in 'Authorization' HTTP header");
  }

  return pieces[1];
}


// Whether a token was refused for its expiry: JWT::parse's only error
// that begins so ("Token for uid '<uid>' has expired: ...").
bool expired(const string& error)
{
  return strings::startsWith(error, "Token for uid '");
}


// What every audit record of one request shares; copied into the
// continuation that decides after the signature check.
struct RequestAudit
{
  void write(
      const Option<string>& uid,
      LogFmt::Result result,
      const string& reason) const
  {
    logfmt.log(
        Clock::now(),
        authorizer,
        uid,
        method,
        object,
        result,
        reason,
        source,
        destination,
        agent);
  }

  LogFmt logfmt;
  LogFmt::Authorizer authorizer;
  string method;
  string object;
  Option<process::network::Address> source;
  Option<process::network::Address> destination;
  Option<string> agent;
};

} // namespace {


class OVRAHTTPAuthenticatorProcess
  : public process::Process<OVRAHTTPAuthenticatorProcess>
{
public:
  OVRAHTTPAuthenticatorProcess(
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

  // `jwt` is `token` parsed by the caller.
  Future<bool> validateSignature(const string& token, const JWT& jwt)
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

  // The IAM public key, fetched afresh unless a fetch is in flight, which
  // then serves this caller too. Every caller of a fetch sees its outcome,
  // the same failure message included.
  Future<shared_ptr<RSA>> getSentrelPublicKey()
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

protected:
  // Callers still waiting on a key fetch would otherwise wait for ever: the
  // fetch's outcome can no longer reach this actor.
  void finalize() override
  {
    if (sentrelPublicKeyPromise_.isSome()) {
      sentrelPublicKeyPromise_->fail(
          "Failed to obtain sentrel public key: the authenticator is being "
          "destroyed");
      sentrelPublicKeyPromise_ = None();
    }
  }

private:
  // With the cache on: the kept key checks tokens while it is fresh. A
  // token it does not verify, or a key past its lifetime, starts a fetch
  // if none started within the refetch interval; requests share the fetch
  // in flight. While fetches fail, the last good key serves up to its
  // bound, then requests fail with the fetch's failure.
  Future<bool> validateWithCache(const JWT& jwt)
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

  // The fetch in flight, or a new one if the refetch interval allows it.
  Option<Future<shared_ptr<RSA>>> fetchFor(
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

  // The token checked with the last good key while it still serves; else
  // the failure that left no key.
  Future<bool> withLastGoodKey(const JWT& jwt, const string& failure)
  {
    const Option<shared_ptr<RSA>> key = cache_->lastGood(Clock::now());
    if (key.isNone()) {
      return Failure(failure);
    }
    ++metrics_.key_cache_fallbacks;
    return sentrel::validateSignature(jwt, key.get());
  }

  void _getSentrelPublicKey(const Future<shared_ptr<RSA>>& key)
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

  const OVRAHTTPAuthenticator::Flags flags_;
  const Option<OVRAHTTPAuthenticator::SignatureValidator> validateSignature_;
  Option<Promise<shared_ptr<RSA>>> sentrelPublicKeyPromise_;
  Option<KeyCache> cache_;
  HTTPAuthenticatorMetrics metrics_;
};


Try<process::http::authentication::Authenticator*>
OVRAHTTPAuthenticator::create(const Flags& flags)
{
  return new OVRAHTTPAuthenticator(flags, None());
}


OVRAHTTPAuthenticator::OVRAHTTPAuthenticator(
    const Flags& flags,
    const Option<SignatureValidator>& validateSignature)
  : process_(new OVRAHTTPAuthenticatorProcess(
        flags, validateSignature, metrics_)),
    flags_(flags),
    logfmt_(corvanta::auditLog(flags))
{
  process::spawn(process_.get());
}


OVRAHTTPAuthenticator::~OVRAHTTPAuthenticator()
{
  process::terminate(process_.get());
  process::wait(process_.get());
}


string OVRAHTTPAuthenticator::scheme() const
{
  return SCHEME;
}


Future<AuthenticationResult> OVRAHTTPAuthenticator::authenticate(
    const Request& request)
{
  AuthenticationResult unauthorized;
  unauthorized.unauthorized = Unauthorized({scheme()});

  RequestAudit audit{
      logfmt_,
      corvanta::hostAuthorizer(flags_),
      request.method,
      stringify(request.url),
      request.client,
      process::network::Address(process_->self().address),
      request.headers.get("User-Agent")};

  const Try<string> token = extractToken(request);

  if (token.isError() && flags_.anonymous_principal.isNone()) {
    LOG(WARNING) << "Error in token: " << token.error();
    ++metrics_.denied_no_token;
    audit.write(None(), LogFmt::Result::DENY, token.error());
    return unauthorized;
  }

  if (token.isError()) {
    const string& anonymous = flags_.anonymous_principal.get();
    ++metrics_.allowed_anonymous;

    audit.write(
        None(),
        LogFmt::Result::ALLOW,
        "Error in token '" + token.error() + "'. Allowing anonymous connection");

    LOG(WARNING) << "Error in token on request from '"
                 << (request.client.isSome() ? stringify(request.client.get())
                                             : string("unknown address"))
                 << "': " << token.error();
    LOG(WARNING) << "Falling back to anonymous connection using user '"
                 << anonymous << "'";

    AuthenticationResult result;
    result.principal = anonymous;
    return result;
  }

  // A token that is present but bad never falls back to anonymous.
  const Try<JWT> jwt = JWT::parse(token.get());
  if (jwt.isError()) {
    LOG(WARNING) << jwt.error();
    ++(expired(jwt.error()) ? metrics_.denied_expired
                            : metrics_.denied_bad_token);
    audit.write(None(), LogFmt::Result::DENY, jwt.error());
    return unauthorized;
  }

  const string uid = jwt->payload.uid;
  // The counts that the outcome raises: copies share them.
  process::metrics::Counter allowed = metrics_.allowed;
  process::metrics::Counter denied = metrics_.denied_bad_signature;
  process::metrics::Counter failed = metrics_.failed;

  return process::dispatch(
             process_.get(),
             &OVRAHTTPAuthenticatorProcess::validateSignature,
             token.get(),
             jwt.get())
    .then([=](bool valid) mutable -> AuthenticationResult {
      if (!valid) {
        ++denied;
        audit.write(
            uid, LogFmt::Result::DENY, "Invalid authorization token signature");
        return unauthorized;
      }

      ++allowed;
      VLOG(1) << "Authenticated principal '" << uid << "'";
      audit.write(uid, LogFmt::Result::ALLOW, "Valid authorization token");

      AuthenticationResult result;
      result.principal = uid;
      return result;
    })
    .onFailed([failed](const string&) mutable { ++failed; });
}

} // namespace ovra {
} // namespace mesos {
