// The authorizer's actor with an injected response getter: the principal
// it asks for, the URL it builds, coalescing of concurrent fetches, the
// cache's expiry and eviction on a paused clock, the failure texts of a
// fetch, and authorized() end to end.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authorizer/authorizer.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/authorizer_process.hpp"

#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;
namespace http = process::http;

using mesos::ObjectApprover;

using mesos::ovra::OVRAAuthorizer;
using mesos::ovra::TokenKeeper;
using mesos::ovra::ResponseGetter;

using process::Clock;
using process::Future;
using process::Owned;
using process::Promise;

namespace {

const char FLAGS_READER[] =
    "{\"direct\":[{\"rid\":\"ovra:mesos:master:flags\",\"description\":\"d\","
    "\"aclurl\":\"/a\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]}]}";


// Stands in for the HTTP client: answers each fetch as told, or holds it
// until release(), and records the URLs asked for. Called on the actor,
// read by the test.
class Getter
{
public:
  ResponseGetter get()
  {
    return [state = state_](const http::URL& url) -> Future<http::Response> {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->urls.push_back(url);
      if (state->holding) {
        state->held.push_back(std::make_shared<Promise<http::Response>>());
        return state->held.back()->future();
      }
      return state->answer;
    };
  }

  void answer(const Future<http::Response>& answer)
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->answer = answer;
  }

  void hold()
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->holding = true;
  }

  // Answers the held fetches with `response`; later ones are answered at
  // once again.
  void release(const http::Response& response)
  {
    std::vector<std::shared_ptr<Promise<http::Response>>> held;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->holding = false;
      held.swap(state_->held);
    }
    for (auto& promise : held) {
      promise->set(response);
    }
  }

  // Answers the held fetch `index` (in the order of the calls) alone.
  void answerHeld(size_t index, const http::Response& response)
  {
    std::shared_ptr<Promise<http::Response>> promise;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      promise = state_->held.at(index);
    }
    promise->set(response);
  }

  size_t calls() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->urls.size();
  }

  std::vector<http::URL> urls() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->urls;
  }

private:
  struct State
  {
    std::mutex mutex;
    Future<http::Response> answer = http::OK(FLAGS_READER);
    bool holding = false;
    std::vector<std::shared_ptr<Promise<http::Response>>> held;
    std::vector<http::URL> urls;
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};


OVRAAuthorizer::Flags masterFlags()
{
  OVRAAuthorizer::Flags flags;
  flags.host = "master";
  return flags;
}


Option<authz::Subject> subject(const std::string& value)
{
  authz::Subject subject;
  subject.set_value(value);
  return subject;
}


// The decision of an approver on VIEW_FLAGS, which needs no object.
std::string decision(const Future<Owned<ObjectApprover>>& approver)
{
  if (!approver.isReady()) {
    return approver.isFailed() ? "failed: " + approver.failure() : "pending";
  }
  Try<bool> approved = approver.get()->approved(None());
  if (approved.isError()) {
    return "error: " + approved.error();
  }
  return approved.get() ? "allow" : "deny";
}


class AuthorizerProcessTest : public ::testing::Test
{
protected:
  void SetUp() override { Clock::pause(); }

  void TearDown() override
  {
    authorizer_.reset();
    Clock::resume();
  }

  OVRAAuthorizer& start(const OVRAAuthorizer::Flags& flags = masterFlags())
  {
    authorizer_.reset(new OVRAAuthorizer(flags, getter_.get()));
    return *authorizer_;
  }

  Future<Owned<ObjectApprover>> approver(
      const std::string& principal,
      authz::Action action = authz::VIEW_FLAGS)
  {
    return authorizer_->getObjectApprover(subject(principal), action);
  }

  // The approver for `principal`, after its fetch has been answered.
  std::string decide(const std::string& principal)
  {
    Future<Owned<ObjectApprover>> future = approver(principal);
    Clock::settle();
    return decision(future);
  }

  Getter getter_;
  std::unique_ptr<OVRAAuthorizer> authorizer_;
};

} // namespace {


TEST_F(AuthorizerProcessTest, ConcurrentRequestsShareOneFetch)
{
  start();
  getter_.hold();

  LogCapture log;
  Future<Owned<ObjectApprover>> first = approver("alice");
  Future<Owned<ObjectApprover>> second = approver("alice");
  Clock::settle();

  EXPECT_EQ(1u, getter_.calls());
  EXPECT_TRUE(first.isPending());
  EXPECT_TRUE(second.isPending());
  EXPECT_TRUE(log.contains(
      google::GLOG_INFO,
      "Skipping permission fetch for principal 'alice' as we have a pending "
      "one already"));

  getter_.release(http::OK(FLAGS_READER));
  Clock::settle();

  EXPECT_EQ("allow", decision(first));
  EXPECT_EQ("allow", decision(second));

  // Another principal is fetched on its own.
  EXPECT_EQ("allow", decide("bob"));
  EXPECT_EQ(2u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, CacheEntriesLastExactlyCacheTimeout)
{
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.cache_timeout = Minutes(2);
  start(flags);

  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ(1u, getter_.calls());

  Clock::advance(Minutes(2));
  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ(1u, getter_.calls());

  // A moment later the entry has expired: the next request fetches, and
  // the new entry lasts from its own fetch.
  Clock::advance(Nanoseconds(1));
  getter_.answer(http::OK("{}"));
  EXPECT_EQ("deny", decide("alice"));
  EXPECT_EQ(2u, getter_.calls());

  Clock::advance(Minutes(2));
  EXPECT_EQ("deny", decide("alice"));
  EXPECT_EQ(2u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, TheLeastRecentlyUsedPrincipalIsEvicted)
{
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.cache_size = 2;
  start(flags);

  for (const std::string principal : {"a", "b", "c"}) {
    EXPECT_EQ("allow", decide(principal));
  }
  EXPECT_EQ(3u, getter_.calls());

  // c and b are cached; a was evicted by c.
  decide("c");
  decide("b");
  EXPECT_EQ(3u, getter_.calls());
  decide("a");
  EXPECT_EQ(4u, getter_.calls());

  // Now b and a are cached. A lookup of b makes a the least recent one,
  // so d evicts a, not b.
  decide("b");
  decide("d");
  EXPECT_EQ(5u, getter_.calls());
  decide("b");
  EXPECT_EQ(5u, getter_.calls());
  decide("a");
  EXPECT_EQ(6u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, CacheSizeZeroSwitchesCachingOff)
{
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.cache_size = 0;
  start(flags);

  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ(2u, getter_.calls());

  // Concurrent requests still share a fetch.
  getter_.hold();
  Future<Owned<ObjectApprover>> first = approver("alice");
  Future<Owned<ObjectApprover>> second = approver("alice");
  Clock::settle();
  EXPECT_EQ(3u, getter_.calls());

  getter_.release(http::OK(FLAGS_READER));
  Clock::settle();
  EXPECT_EQ("allow", decision(first));
  EXPECT_EQ("allow", decision(second));
}


TEST_F(AuthorizerProcessTest, FetchFailuresFailTheRequestAndAreNotCached)
{
  Promise<http::Response> discarded;
  discarded.discard();

  http::Response forbidden = http::Forbidden("no such user");

  const struct
  {
    std::string name;
    Future<http::Response> answer;
    std::string failure;
  } cases[] = {
      {"refused",
       Future<http::Response>::failed(
           "Failed to connect to 10.0.0.1:8101: Connection refused"),
       "HTTP get from OVRA IAM failed: Failed to connect to 10.0.0.1:8101: "
       "Connection refused"},
      {"discarded", discarded.future(), "Request discarded"},
      {"forbidden", forbidden, "HTTP status code not OK (200) but 403"},
      {"server error",
       http::Response(500),
       "HTTP status code not OK (200) but 500"},
      {"created", http::Response(201), "HTTP status code not OK (200) but 201"},
      {"not an object",
       http::OK("[]"),
       "Failed to parse HTTP response as JSON: Unexpected JSON type parsed"},
      {"garbage",
       http::OK("\x01\xff garbage"),
       "Failed to parse HTTP response as JSON: syntax error at line 1 near: "
       "\xff garbage"},
      {"wrong shape",
       http::OK(
           "{\"direct\":[{\"rid\":\"ovra:superuser\",\"description\":\"d\"}]}"),
       "Failed to parse JSON response as protobuf: Missing required fields: "
       "direct[0].aclurl"},
  };

  for (const auto& c : cases) {
    start();
    getter_.answer(c.answer);

    LogCapture log;
    Future<Owned<ObjectApprover>> future = approver("alice");
    Clock::settle();
    EXPECT_EQ("failed: " + c.failure, decision(future)) << c.name;
    EXPECT_TRUE(log.contains(
        google::GLOG_ERROR, "OVRA authorization failed: " + c.failure))
        << c.name;

    // The next request fetches afresh.
    const size_t calls = getter_.calls();
    getter_.answer(http::OK(FLAGS_READER));
    EXPECT_EQ("allow", decide("alice")) << c.name;
    EXPECT_EQ(calls + 1, getter_.calls()) << c.name;
  }
}


TEST_F(AuthorizerProcessTest, ARefusedAnswerIsLoggedWhole)
{
  start();
  http::Response forbidden = http::Forbidden("no such user");
  forbidden.headers["X-Trace"] = "t1";
  getter_.answer(forbidden);

  LogCapture log;
  decide("alice");

  const std::vector<std::string> errors = log.texts(google::GLOG_ERROR);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ("HTTP status code: 403", errors[0]);
  EXPECT_TRUE(log.contains(google::GLOG_ERROR, "HTTP header: X-Trace: t1"));
  EXPECT_TRUE(log.contains(google::GLOG_ERROR, "HTTP body:\nno such user"));

  // A huge error page is cut short in the log.
  getter_.answer(http::Response(std::string(100000, 'x'), 502));
  LogCapture huge;
  decide("bob");
  EXPECT_TRUE(huge.contains(
      google::GLOG_ERROR,
      "HTTP body:\n" + std::string(4096, 'x') + "... (100000 bytes in all)"));
}


TEST_F(AuthorizerProcessTest, FetchesFailAfterNetworkTimeout)
{
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.network_timeout = Seconds(3);
  start(flags);
  getter_.hold();

  Future<Owned<ObjectApprover>> first = approver("alice");
  Clock::settle();
  Clock::advance(Seconds(3) - Nanoseconds(1));
  Clock::settle();
  EXPECT_TRUE(first.isPending());

  Clock::advance(Nanoseconds(1));
  Clock::settle();
  EXPECT_EQ(
      "failed: Failed to contact sentrel: Timed out after 3secs",
      decision(first));

  // The late answer is dropped: nothing is cached from it, and the next
  // request fetches again.
  const int verbosity = FLAGS_v;
  FLAGS_v = 1;
  LogCapture log;
  getter_.release(http::OK(FLAGS_READER));
  Clock::settle();
  FLAGS_v = verbosity;
  EXPECT_TRUE(log.contains(
      google::GLOG_INFO,
      "Skipping further processing for principal 'alice' as the fetch had "
      "been canceled"));

  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ(2u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, ALateAnswerDoesNotServeTheNextFetch)
{
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.network_timeout = Seconds(3);
  start(flags);
  getter_.hold();

  Future<Owned<ObjectApprover>> first = approver("alice");
  Clock::settle();
  Clock::advance(Seconds(3));
  Clock::settle();
  ASSERT_TRUE(first.isFailed());

  Future<Owned<ObjectApprover>> second = approver("alice");
  Clock::settle();
  ASSERT_EQ(2u, getter_.calls());

  // The timed-out fetch answers late with a document that grants nothing:
  // the second request waits for its own fetch and decides from it.
  getter_.answerHeld(0, http::OK(std::string("{\"direct\":[],\"groups\":[]}")));
  Clock::settle();
  EXPECT_EQ("pending", decision(second));

  getter_.answerHeld(1, http::OK(FLAGS_READER));
  Clock::settle();
  EXPECT_EQ("allow", decision(second));

  // Nor did the late answer reach the cache.
  EXPECT_EQ("allow", decide("alice"));
  EXPECT_EQ(2u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, ThePrincipalIsTheSubjectElseTheAnonymousOne)
{
  start();
  EXPECT_TRUE(failed(
      authorizer_->getObjectApprover(None(), authz::VIEW_FLAGS),
      "OVRA authorization currently mandates providing a subject for all "
      "requests"));
  EXPECT_TRUE(failed(
      authorizer_->getObjectApprover(authz::Subject(), authz::VIEW_FLAGS),
      "OVRA authorization currently mandates providing a subject for all "
      "requests"));
  EXPECT_EQ(0u, getter_.calls());

  OVRAAuthorizer::Flags flags = masterFlags();
  flags.anonymous_principal = "anonymous";
  start(flags);

  Future<Owned<ObjectApprover>> anonymous =
      authorizer_->getObjectApprover(None(), authz::VIEW_FLAGS);
  Clock::settle();
  EXPECT_EQ("allow", decision(anonymous));

  // A subject's value wins, even an empty one; an empty principal cannot
  // name a permissions document.
  decide("alice");
  EXPECT_TRUE(failed(
      authorizer_->getObjectApprover(subject(""), authz::VIEW_FLAGS),
      "Cannot fetch the permissions of an empty principal"));

  const std::vector<http::URL> urls = getter_.urls();
  ASSERT_EQ(2u, urls.size());
  EXPECT_TRUE(strings::contains(urls[0].path, "/anonymous/"));
  EXPECT_TRUE(strings::contains(urls[1].path, "/alice/"));
}


TEST_F(AuthorizerProcessTest, ThePermissionsURLHoldsThePrincipalAsOneSegment)
{
  start();
  decide("alice");
  ASSERT_EQ(1u, getter_.urls().size());
  EXPECT_EQ(
      "http://leader.mesos:8101//acs/api/v1/users/alice/permissions"
      "?format=json",
      stringify(getter_.urls()[0]));

  const struct
  {
    std::string principal;
    std::string segment;
  } cases[] = {
      {"alice", "alice"},
      {"svc_marathon-1.prod~x", "svc_marathon-1.prod~x"},
      {"alice@example.com", "alice@example.com"},
      {"ovra:service:marathon", "ovra:service:marathon"},
      {"a/b", "a%2Fb"},
      {"../admin", "%2E%2E%2Fadmin"},
      {"..", "%2E%2E"},
      {".", "%2E"},
      {"...", "%2E%2E%2E"},
      {".hidden.x", "%2Ehidden.x"},
      {"x?format=xml#", "x%3Fformat=xml%23"},
      {"100%", "100%25"},
      {"a b", "a%20b"},
      {"tab\there", "tab%09here"},
      {"\xc3\xa9l\xc3\xa8ve", "%C3%A9l%C3%A8ve"},
      {"back\\slash", "back%5Cslash"},
  };

  for (const auto& c : cases) {
    Try<http::URL> url =
        mesos::ovra::permissionsURL(masterFlags(), c.principal);
    ASSERT_TRUE(url.isSome()) << c.principal;
    EXPECT_EQ("//acs/api/v1/users/" + c.segment + "/permissions", url->path)
        << c.principal;

    Try<std::string> decoded = http::decode(c.segment);
    ASSERT_TRUE(decoded.isSome()) << c.segment;
    EXPECT_EQ(c.principal, decoded.get());
  }

  // The users and permissions flags, and the iam URL's own path and query,
  // shape the rest.
  OVRAAuthorizer::Flags flags = masterFlags();
  flags.iam = http::URL("https", "iam.corp", 443, "/base");
  flags.iam.query["tenant"] = "t1";
  flags.users = "/v2/principals";
  flags.permissions = "grants";
  Try<http::URL> url = mesos::ovra::permissionsURL(flags, "bob");
  ASSERT_TRUE(url.isSome());
  EXPECT_EQ("/base/v2/principals/bob/grants", url->path);
  EXPECT_EQ(2u, url->query.size());
  EXPECT_EQ("json", url->query.at("format"));
  EXPECT_EQ("t1", url->query.at("tenant"));
}


TEST_F(AuthorizerProcessTest, AuthorizedDecidesTheRequestObject)
{
  start();
  getter_.answer(http::OK(
      "{\"groups\":[{\"rid\":\"ovra:mesos:master:endpoint:path:/metrics\","
      "\"gid\":\"ops\",\"description\":\"d\",\"aclurl\":\"/a\","
      "\"membershipurl\":\"/m\",\"actions\":[{\"name\":\"read\","
      "\"url\":\"/u\"}]}]}"));

  auto request = [](const std::string& path, authz::Action action) {
    authz::Request request;
    request.mutable_subject()->set_value("alice");
    request.set_action(action);
    request.mutable_object()->set_value(path);
    return request;
  };

  Future<bool> allowed = authorizer_->authorized(
      request("/metrics/snapshot", authz::GET_ENDPOINT_WITH_PATH));
  Future<bool> denied =
      authorizer_->authorized(request("/flags", authz::GET_ENDPOINT_WITH_PATH));
  Clock::settle();
  ASSERT_TRUE(allowed.isReady());
  EXPECT_TRUE(allowed.get());
  ASSERT_TRUE(denied.isReady());
  EXPECT_FALSE(denied.get());

  LogCapture log;
  Future<bool> unknown =
      authorizer_->authorized(request("/flags", authz::UNKNOWN));
  Clock::settle();
  const std::string failure =
      "Internal authorization failure: Mapping of requested action 'UNKNOWN' "
      "with object { value: \"/flags\" } to a OVRA resource action is not "
      "implemented";
  ASSERT_TRUE(unknown.isFailed());
  EXPECT_EQ(failure, unknown.failure());
  EXPECT_TRUE(log.contains(
      google::GLOG_ERROR, "OVRA authorization failed: " + failure));

  // A request without an object is decided on no object.
  authz::Request flags;
  flags.mutable_subject()->set_value("alice");
  flags.set_action(authz::VIEW_FLAGS);
  Future<bool> noObject = authorizer_->authorized(flags);
  Clock::settle();
  ASSERT_TRUE(noObject.isReady());
  EXPECT_FALSE(noObject.get());
  EXPECT_EQ(1u, getter_.calls());
}


TEST_F(AuthorizerProcessTest, PendingRequestsFailWhenTheModuleGoes)
{
  start();
  getter_.hold();

  Future<Owned<ObjectApprover>> pending = approver("alice");
  Clock::settle();
  authorizer_.reset();

  EXPECT_EQ("failed: OVRA authorizer terminated", decision(pending));
}


TEST(TokenRefreshTest, DelaysFollowTheTokensExpiry)
{
  const process::Time now = process::Time::epoch() + Hours(24 * 365 * 50);

  const struct
  {
    std::string name;
    Result<process::Time> expiration;
    Duration delay;
  } cases[] = {
      {"in two hours", now + Hours(2), Minutes(90)},
      {"in ten minutes", now + Minutes(10), Minutes(10)},
      {"in exactly the margin", now + Minutes(30), Duration::zero()},
      {"just past the margin", now + Minutes(31), Minutes(1)},
      {"now", now, Duration::zero()},
      {"unknown", None(), Hours(72) - Minutes(30)},
      {"unparsable", Error("bad"), Hours(72) - Minutes(30)},
      {"past", now - Seconds(1), Hours(72) - Minutes(30)},
      {"beyond the default", now + Hours(100), Hours(100) - Minutes(30)},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.delay, TokenKeeper::refreshDelay(c.expiration, now)) << c.name;
  }
}


TEST(TokenRefreshTest, TheExpiryIsReadFromTheTokensExpClaim)
{
  const std::string header = "{\"alg\":\"RS256\",\"typ\":\"JWT\"}";
  const long exp = static_cast<long>(Clock::now().secs()) + 3600;

  Result<process::Time> expiry = TokenKeeper::getExpiration(test_tokens::token(
      header, "{\"uid\":\"a\",\"exp\":" + stringify(exp) + "}"));
  ASSERT_TRUE(expiry.isSome());
  EXPECT_EQ(process::Time::epoch() + Seconds(exp), expiry.get());

  expiry =
      TokenKeeper::getExpiration(test_tokens::token(header, "{\"uid\":\"a\"}"));
  EXPECT_TRUE(expiry.isNone());

  for (const std::string& token :
       {std::string("garbage"),
        test_tokens::token("{\"alg\":\"none\"}", "{\"uid\":\"a\"}"),
        test_tokens::token(header, "{\"uid\":\"a\",\"exp\":1}")}) {
    expiry = TokenKeeper::getExpiration(token);
    ASSERT_TRUE(expiry.isError()) << token;
    EXPECT_EQ(0u, expiry.error().find("Failed to parse JWT token: "))
        << expiry.error();
  }
}
