#ifndef __OVRA_AUTH_AUTHENTICATOR_HPP__
#define __OVRA_AUTH_AUTHENTICATOR_HPP__

// The HTTP authenticator: accepts requests that carry an IAM-issued JSON Web
// Token as "Authorization: token=<JWT>", or, when configured, falls back to
// an anonymous principal for requests without one. Token parsing runs in the
// caller's context; the signature check and the fetch of the IAM public key
// run on the module's actor, which is the only holder of mutable state.

#include <functional>
#include <string>

#include <process/authenticator.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/authenticator_flags.hpp"
#include "ovra_auth/authenticator_metrics.hpp"

namespace mesos {
namespace ovra {

class OVRAHTTPAuthenticatorProcess;


class OVRAHTTPAuthenticator
  : public process::http::authentication::Authenticator
{
public:
  typedef OVRAHTTPAuthenticatorFlags Flags;

  // Decides whether a token's signature is valid; replaces the key fetch
  // and the RSA check when injected.
  typedef std::function<process::Future<bool>(const std::string&)>
    SignatureValidator;

  // Never fails.
  static Try<process::http::authentication::Authenticator*> create(
      const Flags& flags);

  OVRAHTTPAuthenticator(
      const Flags& flags,
      const Option<SignatureValidator>& validateSignature);

  ~OVRAHTTPAuthenticator() override;

  // The principal (the token's uid, or the anonymous principal), or a 401
  // with the challenge "acsjwt". Fails when the IAM public key cannot be
  // had or the RSA check itself fails: that is no decision.
  process::Future<process::http::authentication::AuthenticationResult>
  authenticate(const process::http::Request& request) override;

  // "acsjwt": the scheme of the tokens, and the 401 challenge.
  std::string scheme() const override;

private:
  HTTPAuthenticatorMetrics metrics_;
  process::Owned<OVRAHTTPAuthenticatorProcess> process_;
  const Flags flags_;
  const corvanta::LogFmt logfmt_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHENTICATOR_HPP__
