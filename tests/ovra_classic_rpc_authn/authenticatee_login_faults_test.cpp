// The classic authenticatee's service-account login against an IAM
// service that fails it, through every fault of support/remote_faults.hpp:
// the attempt fails with the authenticatee's own message within
// `network_timeout` on a paused clock, is never authenticated on either
// side, and the master's same authenticator accepts the next attempt once
// the service answers again.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/pid.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/option.hpp>

#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/audit_records.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/remote_faults.hpp"
#include "support/test_keys.hpp"

#include "ovra_classic_rpc_authn/classic_rpc_test.hpp"

using namespace ovra_test;

using process::Clock;
using process::Future;
using process::UPID;

using classic::Outcome;
using classic::Running;
using classic::TestMaster;

using classic::client;
using remote_faults::Drive;
using remote_faults::Fault;

namespace {

const char LOGIN_PATH[] = "/acs/api/v1/auth/login";

class AuthenticateeLoginFaultTest
  : public classic::ClassicRPCTest,
    public ::testing::WithParamInterface<Fault>
{
protected:
  void TearDown() override
  {
    Clock::resume();
    classic::ClassicRPCTest::TearDown();
  }

  // One attempt of a new authenticatee, logging in at the peer, against
  // `authenticator`: the authenticatee's and the master's futures.
  std::pair<Future<bool>, Outcome> attempt(
      mesos::Authenticator* authenticator,
      const fault_peer::FaultPeer& iam)
  {
    master_.reset(new Running<TestMaster>(authenticator));
    authenticatee_ = classic::authenticatee(
        dev_iam::rs256Credential(
            test_iam::SERVICE_ACCOUNT,
            test_keys::OTHER_PRIVATE_KEY,
            iam.url(LOGIN_PATH)),
        {{"network_timeout", "2secs"}});
    if (authenticatee_ == nullptr) {
      return {Future<bool>(), Outcome()};
    }
    return {
        authenticatee_->authenticate(
            (*master_)->self(),
            client(),
            classic::mesosCredential(test_iam::SERVICE_ACCOUNT)),
        (*master_)->outcome()};
  }

  std::unique_ptr<Running<TestMaster>> master_;
  std::unique_ptr<mesos::Authenticatee> authenticatee_;
};

} // namespace {


TEST_P(AuthenticateeLoginFaultTest, FailsTheAttemptThenTheNextOneIsAccepted)
{
  const Fault fault = GetParam();

  // The service the peer stands in for issues the service account's
  // token, which the master's authenticator verifies.
  Future<std::string> issued = iam_->issueToken(test_iam::SERVICE_ACCOUNT);
  ASSERT_TRUE(ready(issued));
  const std::string token = issued.get();

  fault_peer::FaultPeer iam([token](const fault_peer::Request& request) {
    if (request.path() != LOGIN_PATH) {
      return fault_peer::Answer::notFound();
    }
    JSON::Object body;
    body.values["token"] = token;
    return fault_peer::Answer::json(stringify(body));
  });
  ASSERT_NE(0, iam.port());

  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  LogCapture log;
  Clock::pause();
  remote_faults::inject(iam, fault);

  auto [peer, master] = attempt(authenticator.get(), iam);
  ASSERT_NE(nullptr, authenticatee_);

  std::string failure;
  if (remote_faults::timesOut(fault)) {
    failure = "Failed to contact Sentrel: Timed out after 2secs";
  } else if (fault == Fault::ERROR_STATUS) {
    failure = "Sentrel returned status: 500 Internal Server Error";
  } else if (fault == Fault::GARBAGE_BODY) {
    failure = "Failed to parse Sentrel response json: " +
        JSON::parse(remote_faults::GARBAGE_BODY).error();
  } else {
    failure = remote_faults::transportFailure(fault, iam.port());
  }

  // The authenticatee's actor waits for the login without blocking: the
  // clock can be settled meanwhile.
  EXPECT_TRUE(remote_faults::failsWith(
      peer,
      iam,
      fault,
      Drive{1, Seconds(2), /*settle=*/true},
      "Failed to get signed JWT from sentrel: " + failure));

  // No token reached the master: its attempt ends, unauthenticated, when
  // the authenticatee goes, and no decision was audited.
  authenticatee_.reset();
  EXPECT_TRUE(failed(master, "Failed to communicate with authenticatee"));
  EXPECT_TRUE(audit_records::records(log).empty());
  master_.reset();
  Clock::resume();

  iam.setDefault(fault_peer::Behaviour::normal());
  auto [again, accepted] = attempt(authenticator.get(), iam);
  ASSERT_TRUE(ready(again));
  EXPECT_TRUE(again.get());
  ASSERT_TRUE(ready(accepted));
  EXPECT_EQ(Option<std::string>(test_iam::SERVICE_ACCOUNT), accepted.get());
}

TEST_F(AuthenticateeLoginFaultTest, ALoginInFlightLeavesTheActorFreeToAct)
{
  fault_peer::FaultPeer iam([](const fault_peer::Request&) {
    return fault_peer::Answer::notFound();
  });
  ASSERT_NE(0, iam.port());
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  // The IAM service never answers, and on a paused clock the login's own
  // limit never comes: only an actor that does not wait on the login can
  // take the caller's discard.
  Clock::pause();
  remote_faults::inject(iam, Fault::SILENT);
  auto [peer, master] = attempt(authenticator.get(), iam);
  ASSERT_NE(nullptr, authenticatee_);
  ASSERT_TRUE(iam.waitForRequest(1).has_value());

  peer.discard();
  EXPECT_TRUE(failed(peer, "Authentication discarded"));
  EXPECT_TRUE(master.isPending());
}


INSTANTIATE_TEST_SUITE_P(
    Faults,
    AuthenticateeLoginFaultTest,
    ::testing::ValuesIn(remote_faults::ALL),
    remote_faults::Name());
