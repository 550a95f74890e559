#include "ovra_classic_rpc_authn/authenticatee.hpp"

#include <string>

#include <glog/logging.h>

#include <mesos/authentication/authentication.hpp>

#include <process/defer.hpp>
#include <process/dispatch.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/error.hpp>
#include <stout/lambda.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

#include "common/module_factory.hpp"
#include "common/sentrel/login.hpp"
#include "ovra_classic_rpc_authn/unguessable_id.hpp"

using std::string;

using mesos::internal::AuthenticateMessage;
using mesos::internal::AuthenticationCompletedMessage;
using mesos::internal::AuthenticationErrorMessage;
using mesos::internal::AuthenticationFailedMessage;
using mesos::internal::AuthenticationStepMessage;

using process::Failure;
using process::Future;
using process::Promise;
using process::UPID;

namespace corvanta {
namespace ovra {

namespace {

const mesos::sentrel::LoginFailureWords LOGIN_FAILURE{
    "Failed to generate JWT", "Failed to get signed JWT from sentrel"};


// The id of a new attempt's actor, or why the attempt cannot start.
Try<string> attemptId(
    bool started,
    const mesos::sentrel::Flags& flags,
    const mesos::Credential& credential)
{
  // One object serves one attempt: a second call would share the first
  // one's actor and outcome.
  if (started) {
    return Error(
        "Authentication already started: each attempt needs a new "
        "authenticatee");
  }

  if (flags.service_account_credential.isNone()) {
    return Error(
        "Cannot authenticate without a service account: the "
        "'service_account_credential' flag is not set");
  }

  const string& uid = flags.service_account_credential->uid();

  if (!credential.has_principal() || credential.principal().empty()) {
    return Error(
        "Cannot authenticate: the credential has no principal; expected "
        "the service account '" + uid + "'");
  }

  if (credential.principal() != uid) {
    return Error(
        "Cannot authenticate as '" + credential.principal() +
        "': the service account is '" + uid + "'");
  }

  return unguessableId("ovra_classic_rpc_authenticatee");
}


ClassicAuthenticateeMetrics& processMetrics()
{
  static ClassicAuthenticateeMetrics* metrics =
    new ClassicAuthenticateeMetrics();
  return *metrics;
}

} // namespace {


class ClassicRPCAuthenticateeProcess
  : public ProtobufProcess<ClassicRPCAuthenticateeProcess>
{
public:
  // `id` is the actor's: one that only the master learns (unguessableId),
  // so that no one else can step the attempt or end it.
  ClassicRPCAuthenticateeProcess(
      const string& id,
      const UPID& client,
      const mesos::sentrel::Flags& flags,
      const ClassicAuthenticateeMetrics& metrics)
    : ProcessBase(id),
      client_(client),
      flags_(flags),
      metrics_(metrics) {}

  Future<bool> authenticate(const UPID& pid)
  {
    master_ = pid;

    LOG(INFO) << "Sending AuthenticateMessage to " << pid;

    AuthenticateMessage message;
    message.set_pid(stringify(client_));
    send(pid, message);

    promise_.future().onDiscard(defer(self(), &Self::discarded));

    return promise_.future();
  }

protected:
  void initialize() override
  {
    install<AuthenticationStepMessage>(
        &Self::step, &AuthenticationStepMessage::data);
    install<AuthenticationCompletedMessage>(&Self::completed);
    install<AuthenticationFailedMessage>(&Self::failed);
    install<AuthenticationErrorMessage>(
        &Self::error, &AuthenticationErrorMessage::error);
  }

  void finalize() override
  {
    end("Authentication discarded");
  }

private:
  // Whether a protocol message may be acted on: it must come from the
  // master's libprocess instance, where the authenticator's sessions run,
  // and the attempt must still be open. Anyone else asking for a step
  // would otherwise be handed the service account's IAM token.
  bool accepted(const UPID& from, const string& message) const
  {
    if (from.address != master_.address) {
      LOG(WARNING) << "Dropping " << message << " from " << from
                   << ": authenticating with " << master_;
      return false;
    }

    return promise_.future().isPending();
  }

  // Whether an outcome may be acted on: accepted() and from the session.
  bool decides(const UPID& from, const string& message) const
  {
    return accepted(from, message) && fromSession(from, message);
  }

  // Whether `from` is the session that this attempt answered. The sender
  // a message names is not proof of who sent it, so an outcome counts only
  // from the session whose step was answered, and only that session's
  // steps are answered once one has been.
  bool fromSession(const UPID& from, const string& message) const
  {
    if (session_.isSome() && session_.get() == from) {
      return true;
    }

    LOG(WARNING) << "Dropping " << message << " from " << from << ": "
                 << (session_.isSome()
                       ? "answering the session " + stringify(session_.get())
                       : string("no session has asked for the token yet"));
    return false;
  }

  // The step asks for the token; what it carries is not used.
  void step(const UPID& from, const string& /*data*/)
  {
    if (!accepted(from, "AuthenticationStepMessage")) {
      return;
    }

    if (session_.isNone()) {
      session_ = from;
    } else if (!fromSession(from, "AuthenticationStepMessage")) {
      return;
    }

    // A step while the token is being fetched is answered after it, with
    // a token of its own; more steps meanwhile add nothing.
    if (login_.isSome()) {
      again_ = true;
      return;
    }

    exchange();
  }

  // Logs the service account in without blocking this actor: messages
  // that arrive meanwhile (a discard, anything a peer sends) are handled
  // at once. `network_timeout` bounds the login.
  void exchange()
  {
    LOG(INFO) << "Sending AuthenticationStepMessage";

    login_ = mesos::sentrel::serviceAccountLogin(
        flags_.service_account_credential.get(),
        flags_.jwt_exp_timeout,
        flags_.network_timeout,
        LOGIN_FAILURE);
    login_->onAny(defer(self(), &Self::exchanged, lambda::_1));
  }

  void exchanged(const Future<string>& token)
  {
    login_ = None();
    if (!promise_.future().isPending()) {
      return;
    }

    if (!token.isReady()) {
      end(token.isFailed() ? token.failure() : LOGIN_FAILURE.exchange);
      return;
    }

    AuthenticationStepMessage reply;
    reply.set_data(token.get());
    send(session_.get(), reply);

    if (again_) {
      again_ = false;
      exchange();
    }
  }

  void completed(const UPID& from)
  {
    if (decides(from, "AuthenticationCompletedMessage")) {
      LOG(INFO) << "Authentication success";
      ++metrics_.logins;
      promise_.set(true);
    }
  }

  void failed(const UPID& from)
  {
    if (decides(from, "AuthenticationFailedMessage")) {
      LOG(INFO) << "Authentication failed";
      ++metrics_.failures;
      promise_.set(false);
    }
  }

  void error(const UPID& from, const string& error)
  {
    if (decides(from, "AuthenticationErrorMessage")) {
      end("Authentication error: " + error);
    }
  }

  void discarded()
  {
    end("Authentication discarded");
  }

  // Fails the attempt; a login still running is of no more use. Only this
  // actor completes the promise; the count comes before the outcome, so
  // that whoever the outcome wakes sees it.
  void end(const string& failure)
  {
    if (promise_.future().isPending()) {
      ++metrics_.failures;
      promise_.fail(failure);
    }
    if (login_.isSome()) {
      login_->discard();
    }
  }

  const UPID client_;
  const mesos::sentrel::Flags flags_;
  ClassicAuthenticateeMetrics metrics_;
  UPID master_;
  Promise<bool> promise_;

  // The session whose step was answered first; the login in flight, if
  // any, and whether a further step waits for it.
  Option<UPID> session_;
  Option<Future<string>> login_;
  bool again_ = false;
};


ClassicRPCAuthenticatee::ClassicRPCAuthenticatee()
  : metrics_(processMetrics()), process_(nullptr) {}


ClassicRPCAuthenticatee::~ClassicRPCAuthenticatee()
{
  if (process_ != nullptr) {
    process::terminate(process_);
    process::wait(process_);
    delete process_;
  }
}


Try<Nothing> ClassicRPCAuthenticatee::prepare(
    const mesos::Parameters& parameters)
{
  return loadModuleFlags(&flags_, parameters);
}


Future<bool> ClassicRPCAuthenticatee::authenticate(
    const UPID& pid,
    const UPID& client,
    const mesos::Credential& credential)
{
  const Try<string> id = attemptId(process_ != nullptr, flags_, credential);
  if (id.isError()) {
    ++metrics_.failures;
    return Failure(id.error());
  }

  process_ = new ClassicRPCAuthenticateeProcess(
      id.get(), client, flags_, metrics_);
  process::spawn(process_);

  return process::dispatch(
      process_, &ClassicRPCAuthenticateeProcess::authenticate, pid);
}

} // namespace ovra {
} // namespace corvanta {
