#include "ovra_classic_rpc_authn/authenticatee.hpp"

#include <string>

#include <glog/logging.h>

#include <mesos/authentication/authentication.hpp>

#include <process/defer.hpp>
#include <process/dispatch.hpp>
#include <process/id.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/none.hpp>
#include <stout/stringify.hpp>

#include "common/module_factory.hpp"
#include "common/sentrel/login.hpp"

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

} // namespace {


class ClassicRPCAuthenticateeProcess
  : public ProtobufProcess<ClassicRPCAuthenticateeProcess>
{
public:
  ClassicRPCAuthenticateeProcess(
      const UPID& client,
      const mesos::sentrel::Flags& flags)
    : ProcessBase(process::ID::generate("ovra_classic_rpc_authenticatee")),
      client_(client),
      flags_(flags) {}

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
    promise_.fail("Authentication discarded");
  }

private:
  // Whether a protocol message may be acted on: it must come from the
  // master's libprocess instance, where the authenticator's sessions run,
  // and the attempt must still be open. Anyone else asking for a step
  // would otherwise be handed the service account's IAM token, and could
  // end the attempt at will.
  bool accepted(const UPID& from, const string& message) const
  {
    if (from.address != master_.address) {
      LOG(WARNING) << "Dropping " << message << " from " << from
                   << ": authenticating with " << master_;
      return false;
    }

    return promise_.future().isPending();
  }

  // The step asks for the token; what it carries is not used.
  void step(const UPID& from, const string& /*data*/)
  {
    if (!accepted(from, "AuthenticationStepMessage")) {
      return;
    }

    LOG(INFO) << "Sending AuthenticationStepMessage";

    // The login blocks this actor until it completes; its own time limit,
    // `network_timeout`, bounds the wait.
    const Future<string> token = mesos::sentrel::serviceAccountLogin(
        flags_.service_account_credential.get(),
        flags_.jwt_exp_timeout,
        flags_.network_timeout,
        LOGIN_FAILURE);
    token.await();

    if (!token.isReady()) {
      promise_.fail(
          token.isFailed() ? token.failure() : LOGIN_FAILURE.exchange);
      return;
    }

    AuthenticationStepMessage reply;
    reply.set_data(token.get());
    send(from, reply);
  }

  void completed(const UPID& from)
  {
    if (accepted(from, "AuthenticationCompletedMessage")) {
      LOG(INFO) << "Authentication success";
      promise_.set(true);
    }
  }

  void failed(const UPID& from)
  {
    if (accepted(from, "AuthenticationFailedMessage")) {
      LOG(INFO) << "Authentication failed";
      promise_.set(false);
    }
  }

  void error(const UPID& from, const string& error)
  {
    if (accepted(from, "AuthenticationErrorMessage")) {
      promise_.fail("Authentication error: " + error);
    }
  }

  void discarded()
  {
    promise_.fail("Authentication discarded");
  }

  const UPID client_;
  const mesos::sentrel::Flags flags_;
  UPID master_;
  Promise<bool> promise_;
};


ClassicRPCAuthenticatee::ClassicRPCAuthenticatee() : process_(nullptr) {}


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
  // One object serves one attempt: a second call would share the first
  // one's actor and outcome.
  if (process_ != nullptr) {
    return Failure(
        "Authentication already started: each attempt needs a new "
        "authenticatee");
  }

  if (flags_.service_account_credential.isNone()) {
    return Failure(
        "Cannot authenticate without a service account: the "
        "'service_account_credential' flag is not set");
  }

  const string& uid = flags_.service_account_credential->uid();

  if (!credential.has_principal() || credential.principal().empty()) {
    return Failure(
        "Cannot authenticate: the credential has no principal; expected "
        "the service account '" + uid + "'");
  }

  if (credential.principal() != uid) {
    return Failure(
        "Cannot authenticate as '" + credential.principal() +
        "': the service account is '" + uid + "'");
  }

  process_ = new ClassicRPCAuthenticateeProcess(client, flags_);
  process::spawn(process_);

  return process::dispatch(
      process_, &ClassicRPCAuthenticateeProcess::authenticate, pid);
}

} // namespace ovra {
} // namespace corvanta {
