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

#include <process/metrics/counter.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/metric_set.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"

namespace corvanta {
namespace ovra {

class ClassicRPCAuthenticatorProcess;


// The authenticator's counts, shared by the module, its actor and its
// sessions. Every call of authenticate() ends in exactly one of the four
// session outcomes.
struct ClassicAuthenticatorMetrics
{
  MetricSet set{"ovra/classic_authenticator"};

  // The token's signature is valid.
  process::metrics::Counter sessions_allowed = set.counter("sessions_allowed");

  // The token was read and rejected: unreadable, or signed by another key.
  process::metrics::Counter sessions_refused = set.counter("sessions_refused");

  // No decision could be made: a malformed step, a signature check that
  // failed or ran out of time, the loss of the peer, no session started.
  process::metrics::Counter sessions_failed = set.counter("sessions_failed");

  // Discarded by the master, or ended with the module.
  process::metrics::Counter sessions_discarded =
    set.counter("sessions_discarded");

  // Every fetch of the IAM public key, and those that brought no key.
  process::metrics::Counter key_fetches = set.counter("key_fetches");
  process::metrics::Counter key_fetch_failures =
    set.counter("key_fetch_failures");
};


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
  ClassicAuthenticatorMetrics metrics_;
  ClassicRPCAuthenticatorProcess* process_;
};

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_HPP__
