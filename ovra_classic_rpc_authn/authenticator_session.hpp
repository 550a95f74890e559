#ifndef __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_SESSION_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_SESSION_HPP__

// One authentication attempt on the master: the session asks the peer's
// authenticatee for a token, checks the token's signature against the IAM
// service's public key, tells the peer the outcome, audits it and hands
// the master the token's uid. The session's state is its own actor's.

#include <stddef.h>

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/pid.hpp>
#include <process/protobuf.hpp>

#include <process/metrics/counter.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"
#include "ovra_classic_rpc_authn/authenticator.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"

namespace corvanta {
namespace ovra {

class ClassicRPCAuthenticatorSessionProcess
  : public ProtobufProcess<ClassicRPCAuthenticatorSessionProcess>
{
public:
  // `id` is the actor's: one that only `pid` learns (unguessableId), so
  // that no one else can step the session in its name. The attempt's
  // outcome is counted in `metrics`. REQUIRES: `sentrelPublicKey` is set.
  ClassicRPCAuthenticatorSessionProcess(
      const std::string& id,
      const process::UPID& pid,
      const AuthenticatorFlags& flags,
      const std::shared_ptr<RSA>& sentrelPublicKey,
      const ClassicAuthenticatorMetrics& metrics);

  // Asks the peer for its token. The future holds the token's uid once
  // the signature is valid and fails on every refusal or error, on the
  // loss of the peer and on a discard; it never holds None.
  process::Future<Option<std::string>> authenticate();

protected:
  void initialize() override;
  void exited(const process::UPID& pid) override;
  void finalize() override;

private:
  // Where the attempt stands; every handler checks it first, so that a step
  // out of turn can never give the attempt a second outcome.
  enum class Status
  {
    // authenticate() has not asked the peer for its token yet.
    READY,
    // The peer was asked for its token and has not given it.
    STEPPING,
    // The attempt has its outcome.
    ENDED,
  };

  // Only the peer's own step is read, and only while the session waits for
  // it: any other step is logged and dropped. A step that is not a
  // well-formed AuthenticationStepMessage ends the attempt like a bad
  // token.
  void receive(const process::UPID& from, const std::string& body);

  // `data` is the token the peer sent.
  void step(const std::string& data);

  // The step or its token could not be read: tells the peer and fails the
  // attempt, counted in `counter`.
  void refuse(const std::string& error, process::metrics::Counter& counter);

  void discarded();

  // Ends the attempt without a decision, counted in `counter`.
  void end(const std::string& failure, process::metrics::Counter& counter);

  // Ends a check: sends `message` to the peer, writes the audit record
  // (`object`, `result`, `reason`) and completes the attempt with the
  // principal or the failure of `outcome`, counted in `counter`.
  void conclude(
      const google::protobuf::Message& message,
      const std::string& object,
      LogFmt::Result result,
      const std::string& reason,
      const Try<std::string>& outcome,
      process::metrics::Counter& counter);

  // Completes the attempt with `outcome` and counts it in `counter`, unless
  // it already has its outcome.
  void complete(
      const Try<std::string>& outcome,
      process::metrics::Counter& counter);

  const process::UPID pid_;
  const AuthenticatorFlags flags_;
  const std::shared_ptr<RSA> sentrelPublicKey_;
  Status status_ = Status::READY;
  process::Promise<Option<std::string>> promise_;
  const LogFmt logfmt_;
  ClassicAuthenticatorMetrics metrics_;
};

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_SESSION_HPP__
