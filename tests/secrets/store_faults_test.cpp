// The secrets modules' two remote calls, the service-account login and
// the secret store's GET, each against a service that fails it through
// every fault of support/remote_faults.hpp: the isolator's launch
// preparation fails with the fetch's own message within `network_timeout`
// on a paused clock, audited as a denied fetch and never as secrets given,
// and the same isolator gives the secret once the service answers again;
// the factories' check of the flags (a login and a ping) fails with its
// message and passes once the service answers.

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>
#include <mesos/slave/containerizer.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "secrets/common/limits.hpp"
#include "secrets/flags.hpp"
#include "secrets/isolator.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/audit_records.hpp"
#include "support/blocking_call.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/remote_faults.hpp"
#include "support/test_keys.hpp"

#include "secrets/secrets_test.hpp"

using namespace ovra_test;

using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Clock;
using process::Future;

using remote_faults::Drive;
using remote_faults::Fault;

using secrets_test::DB_URL_REQUEST;
using secrets_test::containerId;

namespace {

const char LOGIN_PATH[] = "/acs/api/v1/auth/login";
const char SECRET_PATH[] = "/secrets/v1/secret/default/team1/app/dburl";
const char PING_PATH[] = "/secrets/v1/ping";

// The remote call that the fault is put on.
enum class Call
{
  LOGIN,
  STORE,
};


fault_peer::Answer login(const fault_peer::Request& request)
{
  return request.path() == LOGIN_PATH
      ? fault_peer::Answer::json("{\"token\":\"iam-token\"}")
      : fault_peer::Answer::notFound();
}


fault_peer::Answer store(const fault_peer::Request& request)
{
  if (request.header("Authorization") != std::string("token=iam-token")) {
    return fault_peer::Answer::notFound();
  }
  if (request.path() == PING_PATH) {
    return fault_peer::Answer::json("{}");
  }
  if (request.path() != SECRET_PATH) {
    return fault_peer::Answer::notFound();
  }
  JSON::Object body;
  body.values["value"] = secrets_test::DBURL;
  return fault_peer::Answer::json(stringify(body));
}


ContainerConfig container()
{
  return secrets_test::container(
      secrets_test::executorWith("team1/app", DB_URL_REQUEST), None());
}


// The fetch's failure for `fault` on `call`. Each secret's GET fails the
// collection of all of them, in collect's words.
std::string failureOf(Call call, Fault fault, uint16_t port)
{
  const std::string collect = call == Call::STORE ? "Collect failed: " : "";

  if (remote_faults::timesOut(fault)) {
    // The chain's limit is set before its steps' own limits, at the same
    // time of the paused clock, and ends it first.
    return "Failed to execute pong: Timed out after 2secs";
  }
  if (fault == Fault::ERROR_STATUS) {
    return call == Call::LOGIN
        ? "Sentrel returned status: 500 Internal Server Error"
        : collect + "Secret Store returned status: 500 Internal Server Error";
  }
  if (fault == Fault::GARBAGE_BODY) {
    return call == Call::LOGIN
        ? "Failed to parse Sentrel response json: " +
            JSON::parse(remote_faults::GARBAGE_BODY).error()
        : "Failed to parse secret 'team1/app/dburl': the store's answer (" +
            std::to_string(std::string(remote_faults::GARBAGE_BODY).size()) +
            " bytes) is not a JSON object";
  }
  if (fault == Fault::HUGE_BODY && call != Call::LOGIN) {
    // The store's answers are read up to the secrets' own bound.
    return collect + "The answer's body exceeds the limit of " +
        std::to_string(mesos::secrets::MAX_SECRET_ANSWER) + " bytes";
  }
  return collect + remote_faults::transportFailure(fault, port);
}


mesos::secrets::Flags flagsFor(
    const fault_peer::FaultPeer& iam,
    const fault_peer::FaultPeer& secrets)
{
  mesos::secrets::Flags flags;
  flags.store_url = process::http::URL::parse(secrets.url("/secrets/v1")).get();
  flags.special_secret_space_label = secrets_test::SPACE_LABEL;
  flags.special_secret_protobuf_label = secrets_test::SECRETS_LABEL;
  flags.service_account_credential = dev_iam::rs256Credential(
      "agent-1", test_keys::OTHER_PRIVATE_KEY, iam.url(LOGIN_PATH));
  flags.network_timeout = Seconds(2);
  flags.audit_log = true;
  return flags;
}


class SecretsFaultTest
  : public ::testing::TestWithParam<std::tuple<Call, Fault>>
{
protected:
  void TearDown() override { Clock::resume(); }
};


std::string nameOf(
    const ::testing::TestParamInfo<std::tuple<Call, Fault>>& info)
{
  return std::string(
             std::get<0>(info.param) == Call::LOGIN ? "Login" : "Store") +
      remote_faults::name(std::get<1>(info.param));
}

} // namespace {


TEST_P(SecretsFaultTest, FailsThePreparationThenGivesTheSecret)
{
  const auto [call, fault] = GetParam();

  fault_peer::FaultPeer iam(&login);
  fault_peer::FaultPeer secrets(&store);
  ASSERT_NE(0, iam.port());
  ASSERT_NE(0, secrets.port());
  fault_peer::FaultPeer& faulty = call == Call::LOGIN ? iam : secrets;

  Clock::pause();
  mesos::secrets::SecretsIsolator isolator(flagsFor(iam, secrets));

  LogCapture log;
  remote_faults::inject(faulty, fault);

  const std::string failure = failureOf(call, fault, faulty.port());
  EXPECT_TRUE(remote_faults::failsWith(
      isolator.prepare(containerId(), container()),
      faulty,
      fault,
      Drive{1, Seconds(2)},
      failure));

  // The failure is audited as a denied fetch; no secret was given.
  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_FALSE(records.empty());
  for (const audit_records::Record& record : records) {
    EXPECT_NE("\"FETCH_SECRETS_FROM_STORE\"", record.at("action"));
  }
  EXPECT_EQ("\"FETCH_SECRETS\"", records.back().at("action"));
  EXPECT_EQ("deny", records.back().at("result"));
  EXPECT_EQ(secrets_test::quoted(failure), records.back().at("reason"));

  faulty.setDefault(fault_peer::Behaviour::normal());
  Future<Option<ContainerLaunchInfo>> next =
      isolator.prepare(containerId(), container());
  ASSERT_TRUE(ready(next));
  ASSERT_TRUE(next->isSome());
  EXPECT_EQ(
      (std::vector<std::pair<std::string, std::string>>{
          {"DB_URL", secrets_test::DBURL}}),
      secrets_test::variables(next->get().environment()));

  secrets_test::expectNoSecretIn(log);
}


// The factories check the flags by logging in and pinging the store: a
// failing service makes the check fail with the failing step's message
// (no module is made then), and the check passes once it answers. The
// ping's body is not read: a store answering "200 OK" with anything is
// reachable.
TEST_P(SecretsFaultTest, TheFlagsCheckFailsThenPasses)
{
  const auto [call, fault] = GetParam();

  fault_peer::FaultPeer iam(&login);
  fault_peer::FaultPeer secrets(&store);
  ASSERT_NE(0, iam.port());
  ASSERT_NE(0, secrets.port());
  fault_peer::FaultPeer& faulty = call == Call::LOGIN ? iam : secrets;

  Clock::pause();
  remote_faults::inject(faulty, fault);

  const std::string prefix = "Failed to talk to Secret Store: ";
  std::string failure = failureOf(call, fault, faulty.port());
  if (call == Call::STORE) {
    // One GET, not a collection of them.
    failure = strings::remove(failure, "Collect failed: ", strings::PREFIX);
  }

  {
    const mesos::secrets::Flags flags = flagsFor(iam, secrets);
    BlockingCall validation([&flags]() { return flags.validate(); });
    EXPECT_TRUE(remote_faults::endsWith(
        validation.future(),
        faulty,
        fault,
        Drive{1, Seconds(2), /*settle=*/false},
        [&](const Future<Nothing>& check) -> ::testing::AssertionResult {
          // The ping asks for reachability: any "200 OK" answers it.
          if (call == Call::STORE && fault == Fault::GARBAGE_BODY) {
            return ready(check);
          }
          return failed(check, prefix + failure);
        }));
  }

  faulty.setDefault(fault_peer::Behaviour::normal());
  const mesos::secrets::Flags flags = flagsFor(iam, secrets);
  BlockingCall validation([&flags]() { return flags.validate(); });
  EXPECT_TRUE(ready(validation.future()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    SecretsFaultTest,
    ::testing::Combine(
        ::testing::Values(Call::LOGIN, Call::STORE),
        ::testing::ValuesIn(remote_faults::ALL)),
    nameOf);
