// The authorizer against a scripted IAM service over loopback: the token
// it presents (none on masters), its refresh on a paused clock, the retry
// of failed logins and the bounded wait for the first token, one request
// per principal at the service however many callers wait, and principals
// that are not plain names. The module's metrics count its decisions,
// fetches and logins.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authorizer/authorizer.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/sentrel.pb.h"
#include "ovra_auth/authorizer.hpp"

#include "ovra_auth/authorizer_test.hpp"

#include "support/fake_iam.hpp"
#include "support/futures.hpp"
#include "support/log_waiter.hpp"
#include "support/metrics_snapshot.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

using mesos::ObjectApprover;

using mesos::ovra::OVRAAuthorizer;

using process::Clock;
using process::Future;
using process::Owned;

using authorizer_test::allows;
using authorizer_test::approver;
using authorizer_test::flagsFor;

namespace {

const char FLAGS_READER[] =
    "{\"direct\":[{\"rid\":\"ovra:mesos:agent:flags\",\"description\":\"d\","
    "\"aclurl\":\"/a\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]},"
    "{\"rid\":\"ovra:mesos:master:flags\",\"description\":\"d\","
    "\"aclurl\":\"/a\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]}]}";

const char RETRYING[] = "Retrying the service account login in ";
const char OBTAINED[] =
    "Obtained an IAM token for the service account; refreshing it in ";


// An IAM-issued token expiring `lifetime` from now on libprocess's clock,
// or without "exp".
std::string iamToken(const Option<Duration>& lifetime)
{
  std::string payload = "{\"uid\":\"agent-sa\"";
  if (lifetime.isSome()) {
    payload += ",\"exp\":" +
        stringify(static_cast<long>((Clock::now() + lifetime.get()).secs()));
  }
  payload += "}";
  return test_tokens::token("{\"alg\":\"RS256\",\"typ\":\"JWT\"}", payload);
}


class AuthorizerTokenTest : public ::testing::Test
{
protected:
  void TearDown() override
  {
    authorizer_.reset();
    Clock::resume();
  }

  OVRAAuthorizer& start(const OVRAAuthorizer::Flags& flags)
  {
    authorizer_.reset(new OVRAAuthorizer(flags));
    return *authorizer_;
  }

  FakeIAM iam_;
  std::unique_ptr<OVRAAuthorizer> authorizer_;
};

} // namespace {


TEST_F(AuthorizerTokenTest, MastersPresentNoToken)
{
  iam_.answerPermissions("alice", FLAGS_READER);
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "master"));

  Future<Owned<ObjectApprover>> alice = approver(authorizer, "alice");
  ASSERT_TRUE(ready(alice));
  EXPECT_TRUE(allows(alice));

  const std::vector<FakeIAM::PermissionRequest> requests =
      iam_.permissionRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(iam_.url().path + "/users/alice/permissions", requests[0].path);
  EXPECT_TRUE(requests[0].authorization.isNone());
  EXPECT_EQ(0u, iam_.logins());
}


TEST_F(AuthorizerTokenTest, AgentsPresentTheirToken)
{
  const std::string token = iamToken(Hours(2));
  iam_.answerLogins(200, token);
  iam_.answerPermissions("alice", FLAGS_READER);
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "agent"));

  Future<Owned<ObjectApprover>> alice = approver(authorizer, "alice");
  ASSERT_TRUE(ready(alice));
  EXPECT_TRUE(allows(alice));

  const std::vector<FakeIAM::PermissionRequest> requests =
      iam_.permissionRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ(Option<std::string>("token=" + token), requests[0].authorization);
  EXPECT_EQ(1u, iam_.logins());
}


TEST_F(AuthorizerTokenTest, PrincipalsReachTheServiceAsOneSegment)
{
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "master"));

  for (const std::string principal :
       {"a/b?c#d%e", "..", "../other/permissions", "x y"}) {
    iam_.answerPermissions(principal, FLAGS_READER);
    Future<Owned<ObjectApprover>> future = approver(authorizer, principal);
    ASSERT_TRUE(ready(future)) << principal;
    EXPECT_TRUE(allows(future)) << principal;
  }

  for (const FakeIAM::PermissionRequest& request : iam_.permissionRequests()) {
    EXPECT_EQ(4u, strings::tokenize(request.path, "/").size()) << request.path;
  }
}


TEST_F(AuthorizerTokenTest, ConcurrentCallersCauseOneRequestAtTheService)
{
  Clock::pause();
  iam_.answerPermissions("alice", FLAGS_READER);
  iam_.hold();
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "master"));

  std::vector<Future<Owned<ObjectApprover>>> callers;
  for (int i = 0; i < 5; ++i) {
    callers.push_back(approver(authorizer, "alice"));
  }

  ASSERT_TRUE(ready(iam_.permissionRequest(1)));
  Clock::settle();
  iam_.release();

  for (const Future<Owned<ObjectApprover>>& caller : callers) {
    ASSERT_TRUE(ready(caller));
    EXPECT_TRUE(allows(caller));
  }

  // And the next caller is served from the cache.
  ASSERT_TRUE(ready(approver(authorizer, "alice")));
  EXPECT_EQ(1u, iam_.permissionRequests().size());
}


TEST_F(AuthorizerTokenTest, TheTokenIsRefreshedBeforeItExpires)
{
  const struct
  {
    std::string name;
    Option<Duration> lifetime;
    bool parsable;
    Duration refresh;
  } cases[] = {
      {"two hours", Hours(2), true, Minutes(90)},
      {"ten minutes", Minutes(10), true, Minutes(10)},
      {"no expiry", None(), true, Hours(72) - Minutes(30)},
      {"not a token", None(), false, Hours(72) - Minutes(30)},
  };

  for (const auto& c : cases) {
    FakeIAM iam;
    Clock::pause();

    iam.answerLogins(200, c.parsable ? iamToken(c.lifetime) : "not a token");
    iam.answerPermissions("alice", "{}");
    OVRAAuthorizer authorizer(flagsFor(iam, "agent"));

    // The gate opens once the token has been taken and its refresh set.
    ASSERT_TRUE(ready(approver(authorizer, "alice"))) << c.name;

    // A minute early nothing happens (checked below by the time of the
    // second login); on time the service account logs in again.
    Clock::advance(c.refresh - Minutes(1));
    Clock::settle();
    Clock::advance(Minutes(1));
    ASSERT_TRUE(ready(iam.login(2))) << c.name;

    // Each login token expires 5 minutes after its login.
    const std::vector<double> expiries = iam.loginExpiries();
    ASSERT_EQ(2u, expiries.size()) << c.name;
    EXPECT_NEAR(c.refresh.secs(), expiries[1] - expiries[0], 1.0) << c.name;

    Clock::resume();
  }
}


TEST_F(AuthorizerTokenTest, FailedLoginsAreRetriedAndWaitersFailInBoundedTime)
{
  Clock::pause();
  LogWaiter log;
  iam_.answerLogins(500, "");
  iam_.answerPermissions("alice", FLAGS_READER);
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "agent"));

  Future<Owned<ObjectApprover>> waiting = approver(authorizer, "alice");

  Future<std::string> failure = log.line("Sentrel authentication failed: ");
  ASSERT_TRUE(ready(failure));
  EXPECT_EQ(
      "Sentrel authentication failed: Sentrel returned status: 500 "
      "Internal Server Error",
      failure.get());

  // Each failure doubles the delay, up to a minute.
  const Duration delays[] = {
      Seconds(1),
      Seconds(2),
      Seconds(4),
      Seconds(8),
      Seconds(16),
      Seconds(32),
      Minutes(1),
      Minutes(1)};

  size_t n = 0;
  for (const Duration& delay : delays) {
    Future<std::string> retry = log.line(RETRYING, ++n);
    ASSERT_TRUE(ready(retry)) << n;
    EXPECT_EQ(RETRYING + stringify(delay), retry.get());

    // The retry is scheduled right after the line is written.
    Clock::settle();
    Clock::advance(delay);
  }

  // 31 seconds in, the request waiting at the closed gate failed.
  EXPECT_TRUE(failed(
      waiting,
      "Failed to obtain an IAM token for the service account: Timed out "
      "after 30secs"));
  EXPECT_EQ(0u, iam_.permissionRequests().size());

  // Once the service accepts the login again, requests go through.
  ASSERT_TRUE(ready(log.line(RETRYING, ++n)));
  Clock::settle();
  iam_.answerLogins(200, iamToken(Hours(2)));
  Clock::advance(Minutes(1));
  ASSERT_TRUE(ready(log.line(OBTAINED)));

  Future<Owned<ObjectApprover>> alice = approver(authorizer, "alice");
  ASSERT_TRUE(ready(alice));
  EXPECT_TRUE(allows(alice));
}


TEST_F(AuthorizerTokenTest, AFailedRefreshKeepsTheTokenAndIsRetried)
{
  Clock::pause();
  LogWaiter log;
  const std::string first = iamToken(Hours(2));
  iam_.answerLogins(200, first);
  for (const std::string principal : {"alice", "bob", "carol"}) {
    iam_.answerPermissions(principal, FLAGS_READER);
  }
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "agent"));
  ASSERT_TRUE(ready(approver(authorizer, "alice")));

  iam_.answerLogins(503, "");
  Clock::advance(Minutes(90));
  Future<std::string> retry = log.line(RETRYING);
  ASSERT_TRUE(ready(retry));
  EXPECT_EQ(RETRYING + std::string("1secs"), retry.get());
  Clock::settle();

  // Meanwhile the old token is still presented.
  ASSERT_TRUE(ready(approver(authorizer, "bob")));

  const std::string second = iamToken(Hours(2));
  iam_.answerLogins(200, second);
  Clock::advance(Seconds(1));
  ASSERT_TRUE(ready(log.line(OBTAINED, 2)));
  ASSERT_TRUE(ready(approver(authorizer, "carol")));

  const std::vector<FakeIAM::PermissionRequest> requests =
      iam_.permissionRequests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ(Option<std::string>("token=" + first), requests[0].authorization);
  EXPECT_EQ(Option<std::string>("token=" + first), requests[1].authorization);
  EXPECT_EQ(Option<std::string>("token=" + second), requests[2].authorization);
  EXPECT_EQ(3u, iam_.logins());
}


TEST_F(AuthorizerTokenTest, AnAgentWithoutCredentialFailsRequestsAtOnce)
{
  OVRAAuthorizer::Flags flags = flagsFor(iam_, "agent");
  flags.service_account_credential = None();
  OVRAAuthorizer& authorizer = start(flags);

  EXPECT_TRUE(failed(
      approver(authorizer, "alice"),
      "Sentrel authentication failed: 'service_account_credential' is "
      "required on non master nodes."));
}


TEST_F(AuthorizerTokenTest, MetricsCountDecisionsFetchesAndLogins)
{
  Clock::pause();
  LogWaiter log;
  iam_.answerLogins(200, iamToken(Hours(2)));
  iam_.answerPermissions("alice", FLAGS_READER);
  iam_.answerPermissions("bob", "{}");
  OVRAAuthorizer& authorizer = start(flagsFor(iam_, "agent"));

  // Fetched, then from the cache: two allowed.
  ASSERT_TRUE(ready(approver(authorizer, "alice")));
  Future<Owned<ObjectApprover>> alice = approver(authorizer, "alice");
  ASSERT_TRUE(ready(alice));
  EXPECT_TRUE(allows(alice));
  EXPECT_TRUE(allows(alice));

  // Two callers, one fetch: denied twice. The answer waits until the
  // second caller has joined the fetch.
  iam_.hold();
  Future<Owned<ObjectApprover>> bob = approver(authorizer, "bob");
  Future<Owned<ObjectApprover>> again = approver(authorizer, "bob");
  ASSERT_TRUE(ready(log.line(
      "Skipping permission fetch for principal 'bob' as we have a pending "
      "one already")));
  iam_.release();
  ASSERT_TRUE(ready(bob));
  ASSERT_TRUE(ready(again));
  EXPECT_FALSE(allows(bob));
  EXPECT_FALSE(allows(again));

  // An unknown principal's fetch fails, and so does the request.
  EXPECT_TRUE(failed(
      approver(authorizer, "carol"), "HTTP status code not OK (200) but 404"));

  // A failed refresh, then a good one.
  iam_.answerLogins(503, "");
  Clock::advance(Minutes(90));
  ASSERT_TRUE(ready(log.line(RETRYING)));
  Clock::settle();
  iam_.answerLogins(200, iamToken(Hours(2)));
  Clock::advance(Seconds(1));
  ASSERT_TRUE(ready(log.line(OBTAINED, 2)));

  metrics_snapshot::Values counts =
      metrics_snapshot::read("ovra/authorizer/").get();

  // The fetch timer's statistics depend on when the fetches ended.
  EXPECT_EQ(1u, counts.count("ovra/authorizer/permission_fetch_ms"));
  for (auto it = counts.begin(); it != counts.end();) {
    it = it->first.find("permission_fetch_ms") != std::string::npos
        ? counts.erase(it)
        : std::next(it);
  }

  const metrics_snapshot::Values expected = {
      {"ovra/authorizer/allowed", 2},
      {"ovra/authorizer/denied", 2},
      {"ovra/authorizer/failed", 1},
      {"ovra/authorizer/permission_fetches", 3},
      {"ovra/authorizer/permission_fetch_failures", 1},
      {"ovra/authorizer/permission_cache_hits", 1},
      {"ovra/authorizer/coalesced_requests", 1},
      {"ovra/authorizer/logins", 2},
      {"ovra/authorizer/login_failures", 1},
      {"ovra/authorizer/token_refreshes", 1}};
  EXPECT_EQ(expected, counts);
}
