// The classic authenticator fetches the IAM key once, when it is prepared,
// from its fixed address 127.0.0.1:8101, where this program puts a faulty
// service (its own libprocess server listens elsewhere). Through every
// fault of support/remote_faults.hpp the preparation fails with the
// module's message within the query's limit on a paused clock, so that no
// authenticator without a key is made, and an authenticator prepared once
// the service answers again gets its key.

#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>

#include "ovra_classic_rpc_authn/authenticator.hpp"

#include "support/blocking_call.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/iam_key_set.hpp"
#include "support/module_parameters.hpp"
#include "support/remote_faults.hpp"

using namespace ovra_test;

using corvanta::ovra::ClassicRPCAuthenticator;

using process::Clock;
using process::Future;

using remote_faults::Drive;
using remote_faults::Fault;

namespace {

constexpr uint16_t KEY_PORT = 8101;


class KeyFetchFaultTest : public ::testing::TestWithParam<Fault>
{
protected:
  void TearDown() override { Clock::resume(); }
};

} // namespace {


TEST_P(KeyFetchFaultTest, PreparationFailsThenSucceedsOnceTheServiceAnswers)
{
  const Fault fault = GetParam();
  fault_peer::FaultPeer iam(&iam_key_set::answer, KEY_PORT);
  ASSERT_EQ(KEY_PORT, iam.port())
      << "127.0.0.1:8101 is taken: the classic authenticator fetches its key "
      << "there";

  Clock::pause();
  remote_faults::inject(iam, fault);

  const std::string prefix =
      "Failed to retrieve Sentrel public key: "
      "Failed to obtain sentrel public key: ";

  std::string failure;
  if (remote_faults::timesOut(fault)) {
    failure = prefix + "Request timed out after 2secs";
  } else if (fault == Fault::ERROR_STATUS) {
    failure = prefix +
        "Received non-success code (500 Internal Server "
        "Error) when querying Sentrel's public key: " +
        remote_faults::ERROR_BODY;
  } else if (fault == Fault::GARBAGE_BODY) {
    failure = prefix +
        "Error while extracting public key from Sentrel "
        "response: Could not parse JSON Web Key string: " +
        JSON::parse(remote_faults::GARBAGE_BODY).error();
  } else {
    failure = "Failed to retrieve Sentrel public key: " +
        remote_faults::transportFailure(fault, KEY_PORT);
  }

  {
    ClassicRPCAuthenticator authenticator;
    BlockingCall preparation(
        [&authenticator]() { return authenticator.prepare(parameters({})); });
    EXPECT_TRUE(remote_faults::failsWith(
        preparation.future(),
        iam,
        fault,
        Drive{1, Seconds(2), /*settle=*/false},
        failure));

    // Unprepared, it authenticates nobody.
    EXPECT_TRUE(failed(
        authenticator.authenticate(process::UPID("peer(1)@127.0.0.1:1")),
        "The authenticator has not been prepared"));
  }

  iam.setDefault(fault_peer::Behaviour::normal());
  ClassicRPCAuthenticator authenticator;
  BlockingCall preparation(
      [&authenticator]() { return authenticator.prepare(parameters({})); });
  EXPECT_TRUE(ready(preparation.future()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    KeyFetchFaultTest,
    ::testing::ValuesIn(remote_faults::ALL),
    remote_faults::Name());
