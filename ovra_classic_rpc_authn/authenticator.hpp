#ifndef __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_HPP__

// The master side of Mesos's message-based authentication: each attempt
// runs in a session of its own (ClassicRPCAuthenticatorSessionProcess),
// which the module's actor, ClassicRPCAuthenticatorProcess, starts and
// ends. The IAM public key that the sessions check tokens against is
// fetched once, when the module is prepared, and never changes after.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <mesos/authentication/authenticator.hpp>
#include <mesos/mesos.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/pid.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "ovra_classic_rpc_authn/authenticator_flags.hpp"

namespace corvanta {
namespace ovra {

class ClassicRPCAuthenticatorProcess;


class ClassicRPCAuthenticator : public mesos::Authenticator
{
public:
  // Where the key set is fetched from: the IAM service on this host.
  static process::http::URL sentrelPublicKeyURL();

  ClassicRPCAuthenticator();

  // Terminates the actor, which ends the sessions still running, and
  // waits for it.
  ~ClassicRPCAuthenticator() override;

  ClassicRPCAuthenticator(const ClassicRPCAuthenticator&) = delete;
  ClassicRPCAuthenticator& operator=(const ClassicRPCAuthenticator&) = delete;

  // The credentials are not used: peers prove themselves with IAM tokens.
  Try<Nothing> initialize(const Option<mesos::Credentials>&) override;

  // The authenticated principal (the token's uid); every refusal and
  // error is a failed future. REQUIRES: prepare() has succeeded.
  process::Future<Option<std::string>> authenticate(
      const process::UPID& pid) override;

  // Loads the flags ("OVRA_<flag>" environment variables, beaten by the
  // parameters; parameters that name no flag are ignored), fetches the
  // IAM public key, blocking for at most 3 seconds, and starts the actor.
  Try<Nothing> prepare(const mesos::Parameters& parameters);

  // Fetches the IAM public key into sentrelPublicKey_, blocking for at
  // most 3 seconds. Fails with "Failed to retrieve Sentrel public key",
  // followed by the fetch's failure when there is one.
  Try<Nothing> updateSentrelPublicKey();

private:
  AuthenticatorFlags flags_;
  std::shared_ptr<RSA> sentrelPublicKey_;
  ClassicRPCAuthenticatorProcess* process_;
};

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_HPP__
