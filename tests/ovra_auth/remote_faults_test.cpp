// Every remote call of the HTTP authenticator and the authorizer against a
// service that fails it: the key set fetch, the permissions fetch and the
// agent's service-account login, each through every fault of
// support/remote_faults.hpp. Each call ends in the module's own failure
// within its time limit on a paused clock, never in an allow, and the same
// module instance serves normally once the service answers again.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authorizer/authorizer.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

#include "ovra_auth/authenticator.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/authorizer_process.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "ovra_auth/authorizer_test.hpp"

#include "support/audit_records.hpp"
#include "support/fake_iam.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/iam_key_set.hpp"
#include "support/log_capture.hpp"
#include "support/log_waiter.hpp"
#include "support/remote_faults.hpp"
#include "support/test_keys.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

using mesos::ObjectApprover;

using mesos::ovra::OVRAAuthorizer;
using mesos::ovra::OVRAHTTPAuthenticator;

using process::Clock;
using process::Future;
using process::Owned;

using authorizer_test::allows;
using authorizer_test::approver;

using process::http::URL;
using process::http::authentication::AuthenticationResult;

using remote_faults::Drive;
using remote_faults::Fault;
using remote_faults::failsWith;
using remote_faults::logs;
using remote_faults::timesOut;
using remote_faults::transportFailure;

namespace {

// Small, to show that the modules' own flag sets the limit.
const Duration NETWORK_TIMEOUT = Seconds(2);

const char FLAGS_READER[] =
    "{\"direct\":[{\"rid\":\"ovra:mesos:agent:flags\",\"description\":\"d\","
    "\"aclurl\":\"/a\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]},"
    "{\"rid\":\"ovra:mesos:master:flags\",\"description\":\"d\","
    "\"aclurl\":\"/a\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]}]}";


process::http::Request requestWith(const std::string& token)
{
  process::http::Request request;
  request.method = "GET";
  request.url.path = "/master/state";
  request.headers["Authorization"] = "token=" + token;
  return request;
}


// The failure a module's step reports for `fault`: `timedOut` for the
// faults that leave the call without an answer, `status` and
// `garbageBody` for those answers, and for the transport's faults the
// HTTP client's own text after `transportPrefix`.
std::string expected(
    Fault fault,
    uint16_t port,
    const std::string& timedOut,
    const std::string& status,
    const std::string& garbageBody,
    const std::string& transportPrefix = "")
{
  if (timesOut(fault)) {
    return timedOut;
  }
  if (fault == Fault::ERROR_STATUS) {
    return status;
  }
  if (fault == Fault::GARBAGE_BODY) {
    return garbageBody;
  }
  return transportPrefix + transportFailure(fault, port);
}


// A parse error of the JSON parser, as stout words it.
std::string jsonError(const std::string& text)
{
  Try<JSON::Value> parsed = JSON::parse(text);
  return parsed.isError() ? parsed.error() : "";
}


class RemoteFaultTest : public ::testing::TestWithParam<Fault>
{
protected:
  void TearDown() override { Clock::resume(); }
};

} // namespace {


// The HTTP authenticator fetches the key set for every request (no
// cache): a failed fetch fails the request without a decision or an
// audit record, and the next request fetches again.
class KeySetFetchFaultTest : public RemoteFaultTest
{};

TEST_P(KeySetFetchFaultTest, FailsTheRequestThenServesOnceTheServiceAnswers)
{
  const Fault fault = GetParam();
  fault_peer::FaultPeer iam(&iam_key_set::answer);
  ASSERT_NE(0, iam.port());

  OVRAHTTPAuthenticator::Flags flags;
  flags.host = "master";
  flags.iam = URL::parse(iam.url("/")).get();
  flags.network_timeout = NETWORK_TIMEOUT;

  Clock::pause();
  OVRAHTTPAuthenticator authenticator(flags, None());
  const std::string token = test_tokens::signedToken(
      "{\"alg\":\"RS256\",\"typ\":\"JWT\"}",
      "{\"uid\":\"alice\"}",
      test_keys::PRIVATE_KEY);
  ASSERT_FALSE(token.empty());

  LogCapture log;
  remote_faults::inject(iam, fault);

  const std::string prefix = "Failed to obtain sentrel public key: ";
  EXPECT_TRUE(failsWith(
      authenticator.authenticate(requestWith(token)),
      iam,
      fault,
      Drive{1, NETWORK_TIMEOUT},
      expected(
          fault,
          iam.port(),
          prefix + "Request timed out after 2secs",
          prefix +
              "Received non-success code (500 Internal Server Error) "
              "when querying Sentrel's public key: " +
              remote_faults::ERROR_BODY,
          prefix +
              "Error while extracting public key from Sentrel "
              "response: Could not parse JSON Web Key string: " +
              jsonError(remote_faults::GARBAGE_BODY))));

  // No decision was taken: no audit record, allow or deny.
  EXPECT_TRUE(audit_records::records(log).empty());

  iam.setDefault(fault_peer::Behaviour::normal());
  Future<AuthenticationResult> next =
      authenticator.authenticate(requestWith(token));
  ASSERT_TRUE(ready(next));
  EXPECT_EQ(Option<std::string>("alice"), next->principal);
}

// With the key cache on and no key fetched yet, a failed fetch fails the
// requests until the refetch interval allows the next fetch: a failing
// service is asked once per interval however many requests come, and
// the first fetch after it serves.
TEST_P(KeySetFetchFaultTest, WithTheCacheFailsUntilTheRefetchIntervalHasPassed)
{
  const Fault fault = GetParam();
  fault_peer::FaultPeer iam(&iam_key_set::answer);
  ASSERT_NE(0, iam.port());

  OVRAHTTPAuthenticator::Flags flags;
  flags.host = "master";
  flags.iam = URL::parse(iam.url("/")).get();
  flags.network_timeout = NETWORK_TIMEOUT;
  flags.jwks_cache_lifetime = Minutes(10);
  flags.jwks_refetch_interval = Seconds(30);

  Clock::pause();
  OVRAHTTPAuthenticator authenticator(flags, None());
  const std::string token = test_tokens::signedToken(
      "{\"alg\":\"RS256\",\"typ\":\"JWT\"}",
      "{\"uid\":\"alice\"}",
      test_keys::PRIVATE_KEY);
  ASSERT_FALSE(token.empty());

  remote_faults::inject(iam, fault);

  const std::string prefix = "Failed to obtain sentrel public key: ";
  const std::string failure = expected(
      fault,
      iam.port(),
      prefix + "Request timed out after 2secs",
      prefix +
          "Received non-success code (500 Internal Server Error) "
          "when querying Sentrel's public key: " +
          remote_faults::ERROR_BODY,
      prefix +
          "Error while extracting public key from Sentrel "
          "response: Could not parse JSON Web Key string: " +
          jsonError(remote_faults::GARBAGE_BODY));

  EXPECT_TRUE(failsWith(
      authenticator.authenticate(requestWith(token)),
      iam,
      fault,
      Drive{1, NETWORK_TIMEOUT},
      failure));

  // Within the interval, even with the service answering again, requests
  // fail with the last fetch's failure and nothing is fetched.
  iam.setDefault(fault_peer::Behaviour::normal());
  EXPECT_TRUE(failed(authenticator.authenticate(requestWith(token)), failure));
  EXPECT_EQ(fault == Fault::REFUSED ? 0u : 1u, iam.requestCount());

  Clock::advance(Seconds(30));
  Future<AuthenticationResult> next =
      authenticator.authenticate(requestWith(token));
  ASSERT_TRUE(ready(next));
  EXPECT_EQ(Option<std::string>("alice"), next->principal);
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    KeySetFetchFaultTest,
    ::testing::ValuesIn(remote_faults::ALL),
    remote_faults::Name());


namespace {

OVRAAuthorizer::Flags authorizerFlags(
    const FakeIAM& iam,
    const std::string& host)
{
  OVRAAuthorizer::Flags flags = authorizer_test::flagsFor(iam, host);
  flags.network_timeout = NETWORK_TIMEOUT;
  return flags;
}

} // namespace {


// The master's authorizer fetches a principal's permissions: a failed
// fetch fails the approver (no allow, nothing cached), and the next
// question fetches again.
class PermissionsFetchFaultTest : public RemoteFaultTest
{};

TEST_P(
    PermissionsFetchFaultTest,
    FailsTheApproverThenAllowsOnceTheServiceAnswers)
{
  const Fault fault = GetParam();
  FakeIAM iam;
  iam.answerPermissions("alice", FLAGS_READER);

  Clock::pause();
  OVRAAuthorizer authorizer(authorizerFlags(iam, "master"));

  remote_faults::inject(iam.peer(), fault);

  const std::string transport = "HTTP get from OVRA IAM failed: ";
  EXPECT_TRUE(failsWith(
      approver(authorizer, "alice"),
      iam.peer(),
      fault,
      Drive{1, NETWORK_TIMEOUT},
      expected(
          fault,
          iam.peer().port(),
          "Failed to contact sentrel: Timed out after 2secs",
          "HTTP status code not OK (200) but 500",
          "Failed to parse HTTP response as JSON: " +
              jsonError(remote_faults::GARBAGE_BODY),
          transport)));

  iam.peer().setDefault(fault_peer::Behaviour::normal());
  Future<Owned<ObjectApprover>> next = approver(authorizer, "alice");
  ASSERT_TRUE(ready(next));
  EXPECT_TRUE(allows(next));
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    PermissionsFetchFaultTest,
    ::testing::ValuesIn(remote_faults::ALL),
    remote_faults::Name());


// An agent's authorizer logs its service account in before it fetches
// anything: a failed login is logged and retried, requests wait at the
// closed gate without being allowed and without reaching the service, and
// once the login succeeds they go through.
class AuthorizerLoginFaultTest : public RemoteFaultTest
{};

TEST_P(
    AuthorizerLoginFaultTest,
    IsRetriedAndTheWaitingRequestGoesThroughOnceItSucceeds)
{
  const Fault fault = GetParam();
  FakeIAM iam;
  iam.answerLogins(
      200,
      test_tokens::token(
          "{\"alg\":\"RS256\",\"typ\":\"JWT\"}", "{\"uid\":\"agent-sa\"}"));
  iam.answerPermissions("alice", FLAGS_READER);

  Clock::pause();
  LogWaiter log;
  remote_faults::inject(iam.peer(), fault);

  OVRAAuthorizer authorizer(authorizerFlags(iam, "agent"));
  Future<Owned<ObjectApprover>> waiting = approver(authorizer, "alice");

  const std::string failure = "Sentrel authentication failed: ";
  EXPECT_TRUE(logs(
      log.line(failure),
      iam.peer(),
      fault,
      Drive{1, mesos::ovra::LOGIN_TIMEOUT},
      failure +
          expected(
              fault,
              iam.peer().port(),
              "Failed to contact Sentrel: Timed out after 10secs",
              "Sentrel returned status: 500 Internal Server Error",
              "Failed to parse Sentrel response json: " +
                  jsonError(remote_faults::GARBAGE_BODY))));

  EXPECT_TRUE(waiting.isPending());
  EXPECT_TRUE(iam.permissionRequests().empty());

  // The retry, a second later, logs in.
  iam.peer().setDefault(fault_peer::Behaviour::normal());
  ASSERT_TRUE(ready(log.line("Retrying the service account login in 1secs")));
  Clock::settle();
  Clock::advance(Seconds(1));
  ASSERT_TRUE(ready(log.line("Obtained an IAM token for the service account")));

  ASSERT_TRUE(ready(waiting));
  EXPECT_TRUE(allows(waiting));
  ASSERT_EQ(1u, iam.permissionRequests().size());
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    AuthorizerLoginFaultTest,
    ::testing::ValuesIn(remote_faults::ALL),
    remote_faults::Name());
