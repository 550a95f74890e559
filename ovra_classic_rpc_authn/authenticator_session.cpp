#include "ovra_classic_rpc_authn/authenticator_session.hpp"

#include <glog/logging.h>

#include <mesos/authentication/authentication.hpp>

#include <process/clock.hpp>
#include <process/defer.hpp>

#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/stringify.hpp>

#include "common/audit_flags.hpp"
#include "common/sentrel/excerpt.hpp"
#include "common/sentrel/jwt.hpp"

using std::string;

using mesos::internal::AuthenticationCompletedMessage;
using mesos::internal::AuthenticationErrorMessage;
using mesos::internal::AuthenticationFailedMessage;
using mesos::internal::AuthenticationStepMessage;

using mesos::sentrel::JWT;

using process::Future;
using process::UPID;

namespace corvanta {
namespace ovra {

namespace {

constexpr char AUDIT_ACTION[] = "Classic Authentication";

// How long a step may wait for the signature check.
constexpr Duration SIGNATURE_CHECK_LIMIT = Seconds(1);


// The token, parsed; errors are cut to an excerpt, since they may quote
// the token.
Try<JWT> parseToken(const string& token)
{
  Try<JWT> jwt = JWT::parse(token);
  if (jwt.isError()) {
    return Error(mesos::sentrel::excerpt(jwt.error()));
  }

  return jwt;
}

} // namespace {


ClassicRPCAuthenticatorSessionProcess::ClassicRPCAuthenticatorSessionProcess(
    const string& id,
    const UPID& pid,
    const AuthenticatorFlags& flags,
    const std::shared_ptr<RSA>& sentrelPublicKey,
    const ClassicAuthenticatorMetrics& metrics)
  : ProcessBase(id),
    pid_(pid),
    flags_(flags),
    sentrelPublicKey_(sentrelPublicKey),
    logfmt_(auditLog(flags)),
    metrics_(metrics) {}


void ClassicRPCAuthenticatorSessionProcess::initialize()
{
  // The loss of the peer ends the attempt.
  link(pid_);

  // Installed by name rather than as a protobuf handler, which would drop
  // a malformed step unseen and leave the attempt waiting.
  install(AuthenticationStepMessage().GetTypeName(), &Self::receive);
}


Future<Option<string>> ClassicRPCAuthenticatorSessionProcess::authenticate()
{
  VLOG(1) << "Sending AuthenticationStepMessage to " << pid_;

  AuthenticationStepMessage message;
  message.set_data(stringify(pid_));
  send(pid_, message);
  status_ = Status::STEPPING;

  promise_.future().onDiscard(defer(self(), &Self::discarded));

  return promise_.future();
}


void ClassicRPCAuthenticatorSessionProcess::receive(
    const UPID& from,
    const string& body)
{
  if (from != pid_) {
    LOG(WARNING) << "Dropping an authentication step from " << from
                 << ": this session authenticates " << pid_;
    return;
  }

  if (status_ != Status::STEPPING) {
    LOG(WARNING) << "Dropping an authentication step from " << from << ": "
                 << (status_ == Status::READY
                       ? "the session has not asked for it"
                       : "the session has ended");
    return;
  }

  AuthenticationStepMessage message;
  if (!message.ParsePartialFromString(body)) {
    refuse(
        "Malformed authentication step: not an AuthenticationStepMessage",
        metrics_.sessions_failed);
    return;
  }

  if (!message.IsInitialized()) {
    refuse(
        "Malformed authentication step: missing " +
            message.InitializationErrorString(),
        metrics_.sessions_failed);
    return;
  }

  step(message.data());
}


void ClassicRPCAuthenticatorSessionProcess::refuse(
    const string& error,
    process::metrics::Counter& counter)
{
  LOG(WARNING) << "Failed to parse JWT (" << error << "). "
               << "Sending AuthenticationFailedMessage to " << pid_;
  conclude(
      AuthenticationFailedMessage(),
      "",
      LogFmt::Result::DENY,
      "Failed to parse JWT: '" + error + "'",
      Error("Failed to authenticate: " + error),
      counter);
}


void ClassicRPCAuthenticatorSessionProcess::step(const string& data)
{
  VLOG(1) << "Received authentication step with JWT";

  const Try<JWT> jwt = parseToken(data);
  if (jwt.isError()) {
    refuse(jwt.error(), metrics_.sessions_refused);
    return;
  }

  const string uid = jwt->payload.uid;
  VLOG(1) << "Parsed JWT for " << uid;

  // The check is a computation on this thread; the wait only bounds it.
  const Future<bool> valid =
    mesos::sentrel::validateSignature(data, sentrelPublicKey_);
  valid.await(SIGNATURE_CHECK_LIMIT);

  if (valid.isReady() && valid.get()) {
    const string authenticated = "Authenticated principal '" + uid + "'";
    LOG(INFO) << authenticated << ". "
              << "Sending AuthenticationCompletedMessage to " << pid_;
    conclude(
        AuthenticationCompletedMessage(),
        uid,
        LogFmt::Result::ALLOW,
        authenticated,
        uid,
        metrics_.sessions_allowed);
    return;
  }

  if (valid.isReady()) {
    const string invalid =
      "Failed to authenticate due to invalid signature on JWT";
    LOG(WARNING) << "Invalid signature on JWT. "
                 << "Sending AuthenticationFailedMessage to " << pid_;
    conclude(
        AuthenticationFailedMessage(),
        uid,
        LogFmt::Result::DENY,
        invalid,
        Error(invalid),
        metrics_.sessions_refused);
    return;
  }

  const string unresolved = "Failed to validate signature on JWT" +
    (valid.isFailed() ? ": " + valid.failure() : string());
  LOG(WARNING) << unresolved << ". "
               << "Sending AuthenticationErrorMessage to " << pid_;

  AuthenticationErrorMessage error;
  error.set_error(unresolved);
  conclude(
      error,
      uid,
      LogFmt::Result::DENY,
      unresolved,
      Error(unresolved),
      metrics_.sessions_failed);
}


void ClassicRPCAuthenticatorSessionProcess::conclude(
    const google::protobuf::Message& message,
    const string& object,
    LogFmt::Result result,
    const string& reason,
    const Try<string>& outcome,
    process::metrics::Counter& counter)
{
  status_ = Status::ENDED;
  send(pid_, message);

  LogFmt::Record record;
  record.timestamp = process::Clock::now();
  record.authorizer = LogFmt::Authorizer::MESOS_MASTER;
  record.uid = stringify(pid_);
  record.action = AUDIT_ACTION;
  record.object = object;
  record.result = result;
  record.reason = reason;
  record.source = process::network::Address(pid_.address);
  record.destination = process::network::Address(self().address);
  logfmt_.write(record);

  complete(outcome, counter);
}


void ClassicRPCAuthenticatorSessionProcess::complete(
    const Try<string>& outcome,
    process::metrics::Counter& counter)
{
  // Only this actor completes the promise. The count comes first, so that
  // whoever the outcome wakes sees it.
  if (!promise_.future().isPending()) {
    return;
  }
  ++counter;

  if (outcome.isSome()) {
    promise_.set(Option<string>(outcome.get()));
  } else {
    promise_.fail(outcome.error());
  }
}


void ClassicRPCAuthenticatorSessionProcess::end(
    const string& failure,
    process::metrics::Counter& counter)
{
  status_ = Status::ENDED;
  complete(Error(failure), counter);
}


void ClassicRPCAuthenticatorSessionProcess::exited(const UPID& pid)
{
  if (pid == pid_) {
    end("Failed to communicate with authenticatee", metrics_.sessions_failed);
  }
}


void ClassicRPCAuthenticatorSessionProcess::discarded()
{
  end("Authentication discarded", metrics_.sessions_discarded);
}


void ClassicRPCAuthenticatorSessionProcess::finalize()
{
  // Ended before the attempt was: by the module's destruction.
  end(
      "Authentication ended: the authenticator is shutting down",
      metrics_.sessions_discarded);
}

} // namespace ovra {
} // namespace corvanta {
