// The authenticatee on its own: what it refuses to start, how the
// master's verdicts reach its caller, and whom it answers and believes.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <mesos/authentication/authentication.hpp>

#include <process/future.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <stout/ip.hpp>
#include <stout/stringify.hpp>

#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/futures.hpp"
#include "support/log_waiter.hpp"
#include "support/module_parameters.hpp"

#include "ovra_classic_rpc_authn/classic_rpc_test.hpp"

using namespace ovra_test;

using process::Future;
using process::UPID;

using classic::Running;
using classic::TestMaster;

namespace {

class AuthenticateeTest : public classic::ClassicRPCTest
{
protected:
  std::unique_ptr<mesos::Authenticatee> authenticatee()
  {
    return classic::authenticatee(test_iam::credential(*iam_));
  }

  // Starts an attempt towards the recording master; the authenticatee's
  // actor once it has asked.
  Future<bool> start(mesos::Authenticatee* module, UPID* peer)
  {
    Future<bool> attempt = module->authenticate(
        master_->self(),
        UPID("scheduler(1)", process::address()),
        classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
    EXPECT_TRUE(ready(master_->peer()));
    *peer = master_->peer().get();
    return attempt;
  }

  // A session of the master's libprocess instance: this one.
  static UPID session(const std::string& id = "1")
  {
    return UPID(
        "ovra_classic_rpc_authenticator_session(" + id + ")",
        process::address());
  }

  // The master's session asks `peer` for its token.
  static void step(const UPID& session, const UPID& peer)
  {
    mesos::internal::AuthenticationStepMessage step;
    step.set_data(stringify(peer));
    process::post(session, peer, step);
  }

  Running<TestMaster> master_;
};

} // namespace {


TEST_F(AuthenticateeTest, BrokenPreconditionsFailTheAttempt)
{
  const UPID master = master_->self();
  const UPID client("scheduler(1)", process::address());

  std::unique_ptr<mesos::Authenticatee> twice = authenticatee();
  ASSERT_NE(nullptr, twice);
  const Future<bool> first = twice->authenticate(
      master, client, classic::mesosCredential("svc-agent"));

  std::unique_ptr<mesos::Authenticatee> withoutAccount(
      com_corvanta_ovra_ClassicRPCAuthenticatee.create(parameters({})));
  ASSERT_NE(nullptr, withoutAccount);

  std::unique_ptr<mesos::Authenticatee> other = authenticatee();
  std::unique_ptr<mesos::Authenticatee> unnamed = authenticatee();
  ASSERT_NE(nullptr, other);
  ASSERT_NE(nullptr, unnamed);

  mesos::Credential noPrincipal;

  EXPECT_TRUE(failed(
      twice->authenticate(
          master, client, classic::mesosCredential("svc-agent")),
      "Authentication already started: each attempt needs a new "
      "authenticatee"));
  EXPECT_TRUE(failed(
      withoutAccount->authenticate(
          master, client, classic::mesosCredential("svc-agent")),
      "Cannot authenticate without a service account: the "
      "'service_account_credential' flag is not set"));
  EXPECT_TRUE(failed(
      other->authenticate(master, client, classic::mesosCredential("root")),
      "Cannot authenticate as 'root': the service account is 'svc-agent'"));
  EXPECT_TRUE(failed(
      unnamed->authenticate(master, client, noPrincipal),
      "Cannot authenticate: the credential has no principal; expected the "
      "service account 'svc-agent'"));

  // The first attempt is untouched by the second call.
  EXPECT_TRUE(first.isPending());
}


TEST_F(AuthenticateeTest, MasterVerdictsReachTheCaller)
{
  const mesos::internal::AuthenticationCompletedMessage completed;
  const mesos::internal::AuthenticationFailedMessage refused;
  mesos::internal::AuthenticationErrorMessage error;
  error.set_error("x");

  const struct
  {
    const char* name;
    const google::protobuf::Message& verdict;
    Option<bool> value;
    std::string failure;
  } cases[] = {
      {"completed", completed, true, ""},
      {"failed", refused, false, ""},
      {"error", error, None(), "Authentication error: x"},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Running<TestMaster> master;

    std::unique_ptr<mesos::Authenticatee> module = authenticatee();
    ASSERT_NE(nullptr, module);

    const Future<bool> attempt = module->authenticate(
        master->self(),
        UPID("scheduler(1)", process::address()),
        classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
    ASSERT_TRUE(ready(master->peer()));

    step(session(), master->peer().get());
    process::post(session(), master->peer().get(), c.verdict);

    if (c.value.isSome()) {
      ASSERT_TRUE(ready(attempt));
      EXPECT_EQ(c.value.get(), attempt.get());
    } else {
      EXPECT_TRUE(failed(attempt, c.failure));
    }
  }
}


TEST_F(AuthenticateeTest, VerdictAfterDiscardChangesNothing)
{
  std::unique_ptr<mesos::Authenticatee> module = authenticatee();
  ASSERT_NE(nullptr, module);

  UPID peer;
  Future<bool> attempt = start(module.get(), &peer);

  step(session(), peer);
  attempt.discard();
  EXPECT_TRUE(failed(attempt, "Authentication discarded"));

  process::post(
      session(), peer, mesos::internal::AuthenticationCompletedMessage());
  module.reset();
  EXPECT_EQ("Authentication discarded", attempt.failure());
}


TEST_F(AuthenticateeTest, MessagesFromAnotherHostAreDropped)
{
  std::unique_ptr<mesos::Authenticatee> module = authenticatee();
  ASSERT_NE(nullptr, module);

  LogWaiter log;
  UPID peer;
  Future<bool> attempt = start(module.get(), &peer);

  // Whoever asks from elsewhere gets no token, and cannot end the attempt.
  const UPID elsewhere(
      "ovra_classic_rpc_authenticator_session(1)",
      net::IP::parse("10.0.0.9", AF_INET).get(),
      5050);
  mesos::internal::AuthenticationStepMessage step;
  step.set_data("x");
  process::post(elsewhere, peer, step);
  process::post(
      elsewhere, peer, mesos::internal::AuthenticationCompletedMessage());

  ASSERT_TRUE(ready(log.line(
      "Dropping AuthenticationCompletedMessage from " + stringify(elsewhere))));
  EXPECT_TRUE(
      log.line(
             "Dropping AuthenticationStepMessage from " + stringify(elsewhere))
          .isReady());
  EXPECT_EQ(0u, iam_->requests(dev_iam::Endpoint::LOGIN).get());
  EXPECT_TRUE(attempt.isPending());
}


TEST_F(AuthenticateeTest, OnlyTheSessionItAnsweredEndsTheAttempt)
{
  std::unique_ptr<mesos::Authenticatee> module = authenticatee();
  ASSERT_NE(nullptr, module);

  LogWaiter log;
  UPID peer;
  Future<bool> attempt = start(module.get(), &peer);

  // The master's own address is named, but no session has stepped yet.
  process::post(
      session("7"), peer, mesos::internal::AuthenticationCompletedMessage());
  ASSERT_TRUE(ready(log.line(
      "Dropping AuthenticationCompletedMessage from " +
      stringify(session("7")) + ": no session has asked for the token yet")));

  // Once a session has stepped, another one can neither step nor decide.
  step(session(), peer);
  step(session("7"), peer);
  process::post(
      session("7"), peer, mesos::internal::AuthenticationCompletedMessage());
  mesos::internal::AuthenticationErrorMessage error;
  error.set_error("forged");
  process::post(session("7"), peer, error);
  ASSERT_TRUE(ready(log.line(
      "Dropping AuthenticationErrorMessage from " + stringify(session("7")) +
      ": answering the session " + stringify(session()))));
  EXPECT_TRUE(log.line(
                     "Dropping AuthenticationStepMessage from " +
                     stringify(session("7")))
                  .isReady());
  EXPECT_TRUE(attempt.isPending());

  process::post(
      session(), peer, mesos::internal::AuthenticationFailedMessage());
  ASSERT_TRUE(ready(attempt));
  EXPECT_FALSE(attempt.get());
}
