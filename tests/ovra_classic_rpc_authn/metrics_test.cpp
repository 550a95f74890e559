// The classic authenticator's and authenticatee's counts, as an operator
// reads them from "/metrics/snapshot": every attempt counted once, by how
// it ended, and the authenticator's key fetches.

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <mesos/authentication/authentication.hpp>

#include <process/clock.hpp>
#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "ovra_classic_rpc_authn/authenticator.hpp"

#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/futures.hpp"
#include "support/metrics_snapshot.hpp"
#include "support/module_parameters.hpp"
#include "support/test_keys.hpp"

#include "ovra_classic_rpc_authn/classic_rpc_test.hpp"

using namespace ovra_test;

using process::Future;
using process::UPID;

using classic::FakePeer;
using classic::Outcome;
using classic::Running;
using classic::TestMaster;

namespace {

const char AUTHENTICATOR[] = "ovra/classic_authenticator/";
const char AUTHENTICATEE[] = "ovra/classic_authenticatee/";


// The snapshot's metrics whose names start with `prefix` are exactly
// `expected`, each named without the prefix.
::testing::AssertionResult snapshotHolds(
    const std::string& prefix,
    const metrics_snapshot::Values& expected)
{
  const Try<metrics_snapshot::Values> snapshot = metrics_snapshot::read(prefix);
  if (snapshot.isError()) {
    return ::testing::AssertionFailure() << snapshot.error();
  }
  metrics_snapshot::Values named;
  for (const auto& [name, value] : expected) {
    named[prefix + name] = value;
  }
  if (snapshot.get() != named) {
    return ::testing::AssertionFailure()
        << "snapshot: " << ::testing::PrintToString(snapshot.get());
  }
  return ::testing::AssertionSuccess();
}


metrics_snapshot::Values authenticatorCounts(
    double allowed,
    double refused,
    double failed,
    double discarded,
    double keyFetches,
    double keyFetchFailures)
{
  return {
      {"sessions_allowed", allowed},
      {"sessions_refused", refused},
      {"sessions_failed", failed},
      {"sessions_discarded", discarded},
      {"key_fetches", keyFetches},
      {"key_fetch_failures", keyFetchFailures}};
}


metrics_snapshot::Values authenticateeCounts(double logins, double failures)
{
  return {{"logins", logins}, {"failures", failures}};
}


// The snapshot holds exactly these counts of the module.
::testing::AssertionResult authenticatorHolds(
    double allowed,
    double refused,
    double failed,
    double discarded,
    double keyFetches,
    double keyFetchFailures)
{
  return snapshotHolds(
      AUTHENTICATOR,
      authenticatorCounts(
          allowed, refused, failed, discarded, keyFetches, keyFetchFailures));
}


// The authenticatees' counts, which every authenticatee of this process
// adds to.
metrics_snapshot::Values authenticateeCounts()
{
  const Try<metrics_snapshot::Values> snapshot =
      metrics_snapshot::read(AUTHENTICATEE);
  EXPECT_FALSE(snapshot.isError()) << snapshot.error();
  metrics_snapshot::Values counts;
  if (snapshot.isSome()) {
    for (const auto& [name, value] : snapshot.get()) {
      counts[name.substr(strlen(AUTHENTICATEE))] = value;
    }
  }
  return counts;
}


// The authenticatees' counts grew from `before` by exactly these.
::testing::AssertionResult authenticateesAdded(
    const metrics_snapshot::Values& before,
    double logins,
    double failures)
{
  metrics_snapshot::Values expected = authenticateeCounts(logins, failures);
  for (auto& [name, value] : expected) {
    value += before.count(name) > 0 ? before.at(name) : 0;
  }
  return snapshotHolds(AUTHENTICATEE, expected);
}


class ClassicMetricsTest : public classic::ClassicRPCTest
{
protected:
  std::string issued(const std::string& uid)
  {
    Future<std::string> token = iam_->issueToken(uid);
    EXPECT_TRUE(ready(token));
    return token.isReady() ? token.get() : "";
  }

  // A session of this process's master, which asks `peer` for its token.
  static UPID askForToken(const UPID& peer)
  {
    const UPID session(
        "ovra_classic_rpc_authenticator_session(1)", process::address());
    mesos::internal::AuthenticationStepMessage step;
    step.set_data(stringify(peer));
    process::post(session, peer, step);
    return session;
  }
};

} // namespace {


TEST_F(ClassicMetricsTest, AuthenticatorCountsEverySessionByItsEnd)
{
  const Future<std::string> foreign = dev_iam::issueToken(
      {test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY},
      test_iam::SERVICE_ACCOUNT,
      process::Clock::now() + Minutes(5));
  ASSERT_TRUE(ready(foreign));

  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);
  EXPECT_TRUE(authenticatorHolds(0, 0, 0, 0, 1, 0));

  {
    Running<FakePeer> peer(issued(test_iam::SERVICE_ACCOUNT));
    ASSERT_TRUE(ready(authenticator->authenticate(peer->self())));
  }

  // Refused: a token signed by another key, and one that is no token.
  for (const std::string& token : {foreign.get(), std::string("not a token")}) {
    Running<FakePeer> peer(token);
    const Outcome outcome = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->told()));
    EXPECT_EQ("failed", peer->told().get());
    ASSERT_TRUE(completesWithin(outcome, Seconds(15)));
  }

  // Failed: steps that are no AuthenticationStepMessage, and a peer that
  // goes before it answers.
  for (const std::string& body : {std::string("\xff\xff\xff"), std::string()}) {
    Running<FakePeer> peer;
    const Outcome outcome = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    process::dispatch(peer->self(), [&peer, body]() { peer->answer(body); });
    ASSERT_TRUE(ready(peer->told()));
    EXPECT_EQ("failed", peer->told().get());
    ASSERT_TRUE(completesWithin(outcome, Seconds(15)));
  }
  {
    Running<FakePeer> peer;
    const Outcome outcome = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    peer.stop();
    EXPECT_TRUE(failed(outcome, "Failed to communicate with authenticatee"));
  }

  // Discarded by the master.
  {
    Running<FakePeer> peer;
    Outcome outcome = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    outcome.discard();
    EXPECT_TRUE(failed(outcome, "Authentication discarded"));
  }

  EXPECT_TRUE(authenticatorHolds(1, 2, 3, 1, 1, 0));

  authenticator.reset();
  EXPECT_TRUE(snapshotHolds(AUTHENTICATOR, {}));
}


// The factory drops a module whose key fetch failed, and its counts with
// it: they are read here on a module made directly and prepared again.
TEST_F(ClassicMetricsTest, AuthenticatorCountsKeyFetchesAndTheirFailures)
{
  corvanta::ovra::ClassicRPCAuthenticator authenticator;

  // Before it is prepared, an attempt fails without a session.
  EXPECT_TRUE(failed(
      authenticator.authenticate(classic::client()),
      "The authenticator has not been prepared"));

  iam_.reset();
  EXPECT_TRUE(authenticator.prepare(parameters({})).isError());
  EXPECT_TRUE(authenticatorHolds(0, 0, 1, 0, 1, 1));

  Try<process::Owned<dev_iam::DevIAM>> iam =
      dev_iam::DevIAM::start(test_iam::config());
  ASSERT_FALSE(iam.isError()) << iam.error();
  iam_ = iam.get();

  EXPECT_FALSE(authenticator.prepare(parameters({})).isError());
  EXPECT_TRUE(authenticatorHolds(0, 0, 1, 0, 2, 1));
}


// One authenticatee serves one attempt: each case has its own, and the
// counts outlive it.
TEST_F(ClassicMetricsTest, AuthenticateeCountsEveryAttemptByItsEnd)
{
  const mesos::internal::AuthenticationCompletedMessage completed;
  const mesos::internal::AuthenticationFailedMessage refused;
  mesos::internal::AuthenticationErrorMessage error;
  error.set_error("x");

  const struct
  {
    const char* name;
    const google::protobuf::Message* verdict;
    double logins;
  } cases[] = {
      {"completed", &completed, 1},
      {"failed", &refused, 0},
      {"error", &error, 0},
      {"discarded", nullptr, 0},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Running<TestMaster> master;
    std::unique_ptr<mesos::Authenticatee> module =
        classic::authenticatee(test_iam::credential(*iam_));
    ASSERT_NE(nullptr, module);
    const metrics_snapshot::Values before = authenticateeCounts();

    Future<bool> attempt = module->authenticate(
        master->self(),
        classic::client(),
        classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
    ASSERT_TRUE(ready(master->peer()));
    const UPID session = askForToken(master->peer().get());

    if (c.verdict != nullptr) {
      process::post(session, master->peer().get(), *c.verdict);
    } else {
      attempt.discard();
    }
    ASSERT_TRUE(completesWithin(attempt, Seconds(15)));

    module.reset();
    EXPECT_TRUE(authenticateesAdded(before, c.logins, 1 - c.logins));
  }
}


TEST_F(ClassicMetricsTest, AuthenticateeCountsCallsThatCannotStart)
{
  Running<TestMaster> master;
  std::unique_ptr<mesos::Authenticatee> module =
      classic::authenticatee(test_iam::credential(*iam_));
  ASSERT_NE(nullptr, module);
  const metrics_snapshot::Values before = authenticateeCounts();

  EXPECT_TRUE(module
                  ->authenticate(
                      master->self(),
                      classic::client(),
                      classic::mesosCredential("root"))
                  .isFailed());

  const Future<bool> attempt = module->authenticate(
      master->self(),
      classic::client(),
      classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
  EXPECT_TRUE(module
                  ->authenticate(
                      master->self(),
                      classic::client(),
                      classic::mesosCredential(test_iam::SERVICE_ACCOUNT))
                  .isFailed());
  EXPECT_TRUE(authenticateesAdded(before, 0, 2));

  // The attempt that started is counted when it ends: a login the IAM
  // service refuses.
  ASSERT_TRUE(ready(iam_->answer(
      dev_iam::Endpoint::LOGIN, process::http::ServiceUnavailable())));
  ASSERT_TRUE(ready(master->peer()));
  askForToken(master->peer().get());
  ASSERT_TRUE(completesWithin(attempt, Seconds(15)));
  EXPECT_TRUE(attempt.isFailed());
  EXPECT_TRUE(authenticateesAdded(before, 0, 3));
}


TEST_F(ClassicMetricsTest, AnExchangeIsCountedOnBothSides)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);
  Running<TestMaster> master(authenticator.get());
  std::unique_ptr<mesos::Authenticatee> authenticatee =
      classic::authenticatee(dev_iam::rs256Credential(
          test_iam::SERVICE_ACCOUNT,
          test_keys::OTHER_PRIVATE_KEY,
          iam_->loginEndpoint()));
  ASSERT_NE(nullptr, authenticatee);
  const metrics_snapshot::Values before = authenticateeCounts();

  const Future<bool> peer = authenticatee->authenticate(
      master->self(),
      classic::client(),
      classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
  ASSERT_TRUE(ready(peer));
  EXPECT_TRUE(peer.get());
  ASSERT_TRUE(ready(master->outcome()));

  EXPECT_TRUE(authenticatorHolds(1, 0, 0, 0, 1, 0));
  EXPECT_TRUE(authenticateesAdded(before, 1, 0));
}
