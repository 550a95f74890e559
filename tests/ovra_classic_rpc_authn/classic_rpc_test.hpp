#ifndef __TESTS_OVRA_CLASSIC_RPC_AUTHN_CLASSIC_RPC_TEST_HPP__
#define __TESTS_OVRA_CLASSIC_RPC_AUTHN_CLASSIC_RPC_TEST_HPP__

// What the classic RPC tests share: the two modules as Mesos creates them,
// a master that hands each AuthenticateMessage's sender to the
// authenticator as Mesos's master does, a scripted peer in place of the
// authenticatee, and a watcher that sees an actor end. The actors' state
// is read by the tests through futures only.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authentication/authenticatee.hpp>
#include <mesos/authentication/authentication.hpp>
#include <mesos/authentication/authenticator.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module/authenticatee.hpp>
#include <mesos/module/authenticator.hpp>

#include <process/future.hpp>
#include <process/id.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel.pb.h"

#include "support/dev_iam_service.hpp"
#include "support/module_parameters.hpp"

extern mesos::modules::Module<mesos::Authenticatee>
    com_corvanta_ovra_ClassicRPCAuthenticatee;
extern mesos::modules::Module<mesos::Authenticator>
    com_corvanta_ovra_ClassicRPCAuthenticator;

namespace ovra_test {
namespace classic {

typedef process::Future<Option<std::string>> Outcome;


// The process being authenticated: a scheduler of this process.
inline process::UPID client()
{
  return process::UPID("scheduler(1)", process::address());
}


// A serialized AuthenticationStepMessage carrying `data`.
inline std::string stepBody(const std::string& data)
{
  mesos::internal::AuthenticationStepMessage step;
  step.set_data(data);
  return step.SerializeAsString();
}


// Mesos's master, as far as classic authentication goes: the n-th
// AuthenticateMessage starts the n-th attempt with the message's sender.
// Without an authenticator it only records the first sender.
class TestMaster : public ProtobufProcess<TestMaster>
{
public:
  explicit TestMaster(
      mesos::Authenticator* authenticator = nullptr,
      size_t attempts = 1)
    : ProcessBase(process::ID::generate("master")),
      authenticator_(authenticator),
      outcomes_(attempts)
  {}

  // The master's future of the n-th attempt (from 0).
  Outcome outcome(size_t n = 0) const { return outcomes_.at(n).future(); }

  // The first authenticatee that asked.
  process::Future<process::UPID> peer() const { return peer_.future(); }

protected:
  void initialize() override
  {
    install<mesos::internal::AuthenticateMessage>(
        &TestMaster::authenticate, &mesos::internal::AuthenticateMessage::pid);
  }

private:
  void authenticate(const process::UPID& from, const std::string& /*pid*/)
  {
    peer_.set(from);
    if (authenticator_ != nullptr && next_ < outcomes_.size()) {
      outcomes_[next_++].associate(authenticator_->authenticate(from));
    }
  }

  mesos::Authenticator* authenticator_;
  std::vector<process::Promise<Option<std::string>>> outcomes_;
  size_t next_ = 0;
  process::Promise<process::UPID> peer_;
};


// An authenticatee that answers the session's step with `token` (none:
// only when told to), or with several tokens in one turn, and records the
// session, the first outcome it is told ("completed", "failed" or "error:
// <text>") and how many outcomes it was told.
class FakePeer : public ProtobufProcess<FakePeer>
{
public:
  explicit FakePeer(const Option<std::string>& token = None())
    : ProcessBase(process::ID::generate("peer")),
      tokens_(
          token.isSome() ? std::vector<std::string>{token.get()}
                         : std::vector<std::string>())
  {}

  explicit FakePeer(const std::vector<std::string>& tokens)
    : ProcessBase(process::ID::generate("peer")),
      tokens_(tokens)
  {}

  process::Future<process::UPID> session() const { return session_.future(); }
  process::Future<std::string> told() const { return told_.future(); }

  // Dispatched to the peer.
  size_t outcomes() { return outcomes_; }

  // Sends `body` under the step message's name: a serialized step, or
  // anything a malformed peer might send. Dispatched to the peer.
  void answer(const std::string& body)
  {
    send(
        session_.future().get(),
        mesos::internal::AuthenticationStepMessage().GetTypeName(),
        body.data(),
        body.size());
  }

protected:
  void initialize() override
  {
    install<mesos::internal::AuthenticationStepMessage>(&FakePeer::step);
    install<mesos::internal::AuthenticationCompletedMessage>(
        &FakePeer::completed);
    install<mesos::internal::AuthenticationFailedMessage>(&FakePeer::failed);
    install<mesos::internal::AuthenticationErrorMessage>(
        &FakePeer::error, &mesos::internal::AuthenticationErrorMessage::error);
  }

private:
  void step(const process::UPID& from)
  {
    session_.set(from);
    for (const std::string& token : tokens_) {
      answer(stepBody(token));
    }
  }

  void completed() { tell("completed"); }
  void failed() { tell("failed"); }
  void error(const std::string& error) { tell("error: " + error); }

  void tell(const std::string& outcome)
  {
    ++outcomes_;
    told_.set(outcome);
  }

  const std::vector<std::string> tokens_;
  process::Promise<process::UPID> session_;
  process::Promise<std::string> told_;
  size_t outcomes_ = 0;
};


// Ready once `pid` has ended (at once if it is not running).
class Watcher : public process::Process<Watcher>
{
public:
  explicit Watcher(const process::UPID& pid)
    : ProcessBase(process::ID::generate("watcher")),
      pid_(pid)
  {}

  process::Future<Nothing> ended() const { return ended_.future(); }

protected:
  void initialize() override { link(pid_); }
  void exited(const process::UPID&) override { ended_.set(Nothing()); }

private:
  const process::UPID pid_;
  process::Promise<Nothing> ended_;
};


// Spawns an actor for the length of a scope.
template <typename T>
class Running
{
public:
  template <typename... Args>
  explicit Running(Args&&... args) : actor_(std::forward<Args>(args)...)
  {
    process::spawn(actor_);
  }

  ~Running() { stop(); }

  void stop()
  {
    if (!stopped_) {
      stopped_ = true;
      process::terminate(actor_);
      process::wait(actor_);
    }
  }

  T* operator->() { return &actor_; }
  T& operator*() { return actor_; }

private:
  T actor_;
  bool stopped_ = false;
};


// The `service_account_credential` flag's value for `credential`.
inline std::string credentialFlag(const corvanta::Credential& credential)
{
  return stringify(JSON::protobuf(credential));
}


inline mesos::Credential mesosCredential(const std::string& principal)
{
  mesos::Credential credential;
  credential.set_principal(principal);
  return credential;
}


// The modules as the factories make them; null (and a test failure) when
// a factory refuses.
inline std::unique_ptr<mesos::Authenticator> authenticator(
    const mesos::Parameters& given = parameters({}))
{
  std::unique_ptr<mesos::Authenticator> module(
      com_corvanta_ovra_ClassicRPCAuthenticator.create(given));
  EXPECT_NE(nullptr, module);
  return module;
}


inline std::unique_ptr<mesos::Authenticatee> authenticatee(
    const corvanta::Credential& account,
    const std::vector<std::pair<std::string, std::string>>& more = {})
{
  std::vector<std::pair<std::string, std::string>> pairs = {
      {"service_account_credential", credentialFlag(account)}};
  pairs.insert(pairs.end(), more.begin(), more.end());

  std::unique_ptr<mesos::Authenticatee> module(
      com_corvanta_ovra_ClassicRPCAuthenticatee.create(parameters(pairs)));
  EXPECT_NE(nullptr, module);
  return module;
}


// The development IAM service on this process's server, which the tests
// run on the authenticator's fixed key port.
class ClassicRPCTest : public test_iam::ServiceTest
{
protected:
  void SetUp() override
  {
    ASSERT_EQ(8101, process::address().port)
        << "run with LIBPROCESS_PORT=8101: the authenticator fetches its key "
        << "from 127.0.0.1:8101";
    ServiceTest::SetUp();
  }
};

} // namespace classic {
} // namespace ovra_test {

#endif // __TESTS_OVRA_CLASSIC_RPC_AUTHN_CLASSIC_RPC_TEST_HPP__
