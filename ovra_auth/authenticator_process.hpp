#ifndef __OVRA_AUTH_AUTHENTICATOR_PROCESS_HPP__
#define __OVRA_AUTH_AUTHENTICATOR_PROCESS_HPP__

// The HTTP authenticator's actor: it checks token signatures against the
// IAM public key, fetching the key set (shared by the requests that wait on
// one fetch) and, with the key cache on, keeping it.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/process.hpp>
#include <process/time.hpp>

#include <stout/option.hpp>

#include "common/sentrel/jwt.hpp"
#include "ovra_auth/authenticator.hpp"
#include "ovra_auth/authenticator_metrics.hpp"
#include "ovra_auth/key_cache.hpp"

namespace mesos {
namespace ovra {

class OVRAHTTPAuthenticatorProcess
  : public process::Process<OVRAHTTPAuthenticatorProcess>
{
public:
  OVRAHTTPAuthenticatorProcess(
      const OVRAHTTPAuthenticator::Flags& flags,
      const Option<OVRAHTTPAuthenticator::SignatureValidator>&
        validateSignature,
      const HTTPAuthenticatorMetrics& metrics);

  // `jwt` is `token` parsed by the caller.
  process::Future<bool> validateSignature(
      const std::string& token,
      const sentrel::JWT& jwt);

  // The IAM public key, fetched afresh unless a fetch is in flight, which
  // then serves this caller too. Every caller of a fetch sees its outcome,
  // the same failure message included.
  process::Future<std::shared_ptr<RSA>> getSentrelPublicKey();

protected:
  // Callers still waiting on a key fetch would otherwise wait for ever: the
  // fetch's outcome can no longer reach this actor.
  void finalize() override;

private:
  // With the cache on: the kept key checks tokens while it is fresh. A
  // token it does not verify, or a key past its lifetime, starts a fetch
  // if none started within the refetch interval; requests share the fetch
  // in flight. While fetches fail, the last good key serves up to its
  // bound, then requests fail with the fetch's failure.
  process::Future<bool> validateWithCache(const sentrel::JWT& jwt);

  // The fetch in flight, or a new one if the refetch interval allows it.
  Option<process::Future<std::shared_ptr<RSA>>> fetchFor(
      const process::Time& now,
      const std::string& reason);

  // The token checked with the last good key while it still serves; else
  // the failure that left no key.
  process::Future<bool> withLastGoodKey(
      const sentrel::JWT& jwt,
      const std::string& failure);

  void _getSentrelPublicKey(const process::Future<std::shared_ptr<RSA>>& key);

  const OVRAHTTPAuthenticator::Flags flags_;
  const Option<OVRAHTTPAuthenticator::SignatureValidator> validateSignature_;
  Option<process::Promise<std::shared_ptr<RSA>>> sentrelPublicKeyPromise_;
  Option<KeyCache> cache_;
  HTTPAuthenticatorMetrics metrics_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHENTICATOR_PROCESS_HPP__
