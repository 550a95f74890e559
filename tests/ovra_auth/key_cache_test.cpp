// The HTTP authenticator's opt-in key cache against the development IAM
// service, on a paused clock: how long a key set is kept, refetches after
// failed checks (at most one per interval however many tokens), key
// rotation, the last good key serving while the service is down, up to
// its bound, and failed fetches retried on a backoff. Without the cache
// every request fetches the key set. The module's metrics count each
// outcome and each use of the cache.

#include <algorithm>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/collect.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>

#include "common/sentrel/jwt.hpp"
#include "ovra_auth/authenticator.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/dev_iam_service.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/metrics_snapshot.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using mesos::ovra::OVRAHTTPAuthenticator;

using process::Clock;
using process::Future;
using process::Owned;

using process::http::Request;
using process::http::authentication::AuthenticationResult;

using dev_iam::Endpoint;

namespace {

constexpr char REFETCH_LINE[] =
    "Fetching the IAM key set again: a token did not verify with the cached "
    "key";


class HttpAuthenticatorCacheTest : public test_iam::ServiceTest
{
protected:
  void SetUp() override
  {
    test_iam::ServiceTest::SetUp();
    Clock::pause();
  }

  std::unique_ptr<OVRAHTTPAuthenticator> authenticator(bool cache = true)
  {
    OVRAHTTPAuthenticator::Flags flags;
    flags.host = "master";
    flags.iam = iam_->url();
    flags.audit_log = false;
    if (cache) {
      flags.jwks_cache_lifetime = Seconds(60);
      flags.jwks_refetch_interval = Seconds(30);
      flags.jwks_fallback_lifetime = Minutes(5);
    }
    return std::make_unique<OVRAHTTPAuthenticator>(flags, None());
  }

  std::string token(const std::string& uid)
  {
    Future<std::string> token = iam_->issueToken(uid);
    EXPECT_TRUE(ready(token));
    return token.isReady() ? token.get() : "";
  }

  // A token the IAM service's key does not verify.
  static std::string forged(const std::string& uid)
  {
    Future<std::string> token = mesos::sentrel::JWT::generateRS256(
        dev_iam::rs256Credential(uid, test_keys::OTHER_PRIVATE_KEY, "x"),
        None());
    return token.isReady() ? token.get() : "";
  }

  size_t keyFetches()
  {
    Future<size_t> count = iam_->requests(Endpoint::JWKS);
    EXPECT_TRUE(ready(count));
    return count.isReady() ? count.get() : 0;
  }

  // The principal the request was granted, or "401", or "failed: <why>";
  // without a token, the request has no "Authorization" header.
  static std::string outcome(
      OVRAHTTPAuthenticator& authenticator,
      const Option<std::string>& token)
  {
    Request request;
    request.method = "GET";
    request.url.path = "/master/state";
    if (token.isSome()) {
      request.headers["Authorization"] = "token=" + token.get();
    }

    Future<AuthenticationResult> result = authenticator.authenticate(request);
    if (!completesWithin(result, Seconds(15))) {
      return "pending";
    }
    if (result.isFailed()) {
      return "failed: " + result.failure();
    }
    if (result.isDiscarded()) {
      return "discarded";
    }
    if (result->principal.isSome()) {
      return result->principal.get();
    }
    return result->unauthorized.isSome() ? "401" : "none";
  }

  // Restarts the IAM service with the other key pair: tokens it issues
  // from now on are signed by a key that the cached one does not verify.
  void rotateKey()
  {
    iam_.reset();
    dev_iam::Config config = test_iam::config();
    config.key = {test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY};
    Try<Owned<dev_iam::DevIAM>> iam = dev_iam::DevIAM::start(config);
    ASSERT_FALSE(iam.isError()) << iam.error();
    iam_ = iam.get();
  }
};

} // namespace {


TEST_F(HttpAuthenticatorCacheTest, WithoutTheCacheEveryRequestFetches)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator(false);
  const std::string alice = token("alice");
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(2u, keyFetches());
}


TEST_F(HttpAuthenticatorCacheTest, AKeySetIsKeptForItsLifetime)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string alice = token("alice");

  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ("alice", outcome(*module, alice));
  }
  EXPECT_EQ(1u, keyFetches());

  Clock::advance(Seconds(59));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(1u, keyFetches());

  LogCapture log;
  Clock::advance(Seconds(1));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(2u, keyFetches());
  EXPECT_TRUE(log.contains(
      google::GLOG_INFO,
      "Fetching the IAM key set again: the cached key set expired"));
}


TEST_F(HttpAuthenticatorCacheTest, BadTokensRefetchAtMostOncePerInterval)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  EXPECT_EQ("alice", outcome(*module, token("alice")));
  EXPECT_EQ(1u, keyFetches());

  // Within the interval of the first fetch: refused without asking.
  const std::string bad = forged("mallory");
  EXPECT_EQ("401", outcome(*module, bad));
  EXPECT_EQ(1u, keyFetches());

  // Past it, a flood of bad tokens at once makes one fetch between them.
  LogCapture log;
  Clock::advance(Seconds(30));
  std::list<Future<AuthenticationResult>> flood;
  Request request;
  request.method = "GET";
  request.headers["Authorization"] = "token=" + bad;
  for (int i = 0; i < 200; ++i) {
    flood.push_back(module->authenticate(request));
  }
  Future<std::list<AuthenticationResult>> all = process::collect(flood);
  ASSERT_TRUE(ready(all));
  for (const AuthenticationResult& result : all.get()) {
    EXPECT_TRUE(result.principal.isNone());
    EXPECT_TRUE(result.unauthorized.isSome());
  }
  EXPECT_EQ(2u, keyFetches());
  const std::vector<std::string> lines = log.texts(google::GLOG_INFO);
  EXPECT_EQ(1, std::count(lines.begin(), lines.end(), REFETCH_LINE));

  // And refused again without asking until the next interval.
  EXPECT_EQ("401", outcome(*module, bad));
  EXPECT_EQ(2u, keyFetches());
}


TEST_F(HttpAuthenticatorCacheTest, ARotatedKeyIsTakenOnceTheIntervalAllows)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string before = token("alice");
  EXPECT_EQ("alice", outcome(*module, before));

  rotateKey();
  const std::string after = token("bob");

  // The cached key does not verify the new token, and it is too soon to
  // ask again.
  EXPECT_EQ("401", outcome(*module, after));

  Clock::advance(Seconds(30));
  EXPECT_EQ("bob", outcome(*module, after));
  EXPECT_EQ(1u, keyFetches()); // counted by the restarted service

  // The old key is gone with the old key set.
  EXPECT_EQ("401", outcome(*module, before));
}


TEST_F(HttpAuthenticatorCacheTest, TheLastGoodKeyServesWhileTheServiceIsDown)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string alice = token("alice");
  EXPECT_EQ("alice", outcome(*module, alice));

  ASSERT_TRUE(ready(iam_->answer(
      Endpoint::JWKS, process::http::InternalServerError("down"))));

  // Past the key's lifetime the fetch fails; the last good key serves,
  // said once, and forged tokens stay refused.
  LogCapture log;
  Clock::advance(Seconds(60));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ("401", outcome(*module, forged("mallory")));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(2u, keyFetches());
  EXPECT_EQ(1u, log.texts(google::GLOG_WARNING).size());

  // One fetch per interval while it lasts.
  Clock::advance(Seconds(30));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(3u, keyFetches());

  // Past lifetime and fallback together, requests fail as without the
  // cache: a failure, never an allow.
  Clock::advance(Minutes(5) - Seconds(30));
  const std::string past = outcome(*module, alice);
  EXPECT_EQ(0u, past.find("failed: Failed to obtain sentrel public key: "))
      << past;

  // Back up: the next fetch the interval allows serves again.
  ASSERT_TRUE(ready(iam_->answer(Endpoint::JWKS, None())));
  Clock::advance(Seconds(30));
  EXPECT_EQ("alice", outcome(*module, alice));
}


TEST_F(
    HttpAuthenticatorCacheTest,
    AFailedFetchIsRetriedOnABackoffUpToTheInterval)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string alice = token("alice");

  // Down at the first fetch: requests fail, and while the backoff runs
  // they do not ask again.
  ASSERT_TRUE(ready(iam_->answer(
      Endpoint::JWKS, process::http::InternalServerError("down"))));
  EXPECT_EQ(0u, outcome(*module, alice).find("failed: "));
  EXPECT_EQ(0u, outcome(*module, alice).find("failed: "));
  EXPECT_EQ(1u, keyFetches());

  // 1, 2, 4, 8 and 16 seconds after each failure, then the interval.
  size_t fetches = 1;
  for (const Duration& backoff :
       {Seconds(1),
        Seconds(2),
        Seconds(4),
        Seconds(8),
        Seconds(16),
        Seconds(30),
        Seconds(30)}) {
    Clock::advance(backoff - Milliseconds(1));
    outcome(*module, alice);
    EXPECT_EQ(fetches, keyFetches()) << "before a backoff of " << backoff;
    Clock::advance(Milliseconds(1));
    outcome(*module, alice);
    EXPECT_EQ(++fetches, keyFetches()) << "after a backoff of " << backoff;
  }

  // Back up: the next retry serves valid users.
  ASSERT_TRUE(ready(iam_->answer(Endpoint::JWKS, None())));
  Clock::advance(Seconds(30));
  EXPECT_EQ("alice", outcome(*module, alice));
  EXPECT_EQ(++fetches, keyFetches());
}


TEST_F(
    HttpAuthenticatorCacheTest,
    AnOutageAtTheFirstFetchEndsForUsersWithinSeconds)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string alice = token("alice");

  ASSERT_TRUE(ready(iam_->answer(
      Endpoint::JWKS, process::http::InternalServerError("down"))));
  EXPECT_EQ(0u, outcome(*module, alice).find("failed: "));

  ASSERT_TRUE(ready(iam_->answer(Endpoint::JWKS, None())));
  Clock::advance(Seconds(1));
  EXPECT_EQ("alice", outcome(*module, alice));
}


TEST_F(
    HttpAuthenticatorCacheTest,
    MetricsCountEveryOutcomeAndEveryUseOfTheCache)
{
  std::unique_ptr<OVRAHTTPAuthenticator> module = authenticator();
  const std::string alice = token("alice");

  EXPECT_EQ("alice", outcome(*module, alice)); // fetched
  EXPECT_EQ("alice", outcome(*module, alice)); // from the cache

  Clock::advance(Seconds(30));
  EXPECT_EQ("401", outcome(*module, forged("mallory"))); // refetched
  EXPECT_EQ("401", outcome(*module, None()));
  EXPECT_EQ("401", outcome(*module, std::string("abc")));

  Future<std::string> expired = mesos::sentrel::JWT::generateRS256(
      dev_iam::rs256Credential("bob", test_keys::PRIVATE_KEY, "x"),
      Clock::now() - Seconds(1));
  ASSERT_TRUE(ready(expired));
  EXPECT_EQ("401", outcome(*module, expired.get()));

  // The service down: the last good key serves, then past its bound the
  // request fails.
  ASSERT_TRUE(ready(iam_->answer(
      Endpoint::JWKS, process::http::InternalServerError("down"))));
  Clock::advance(Seconds(60));
  EXPECT_EQ("alice", outcome(*module, alice));
  Clock::advance(Minutes(6));
  EXPECT_EQ(0u, outcome(*module, alice).find("failed: "));

  // Four fetches, each at its own time and taking no time on the paused
  // clock.
  const std::string fetch = "ovra/http_authenticator/key_fetch_ms";
  metrics_snapshot::Values expected = {
      {"ovra/http_authenticator/allowed", 3},
      {"ovra/http_authenticator/allowed_anonymous", 0},
      {"ovra/http_authenticator/denied_bad_signature", 1},
      {"ovra/http_authenticator/denied_bad_token", 1},
      {"ovra/http_authenticator/denied_expired", 1},
      {"ovra/http_authenticator/denied_no_token", 1},
      {"ovra/http_authenticator/failed", 1},
      {"ovra/http_authenticator/key_cache_fallbacks", 1},
      {"ovra/http_authenticator/key_cache_hits", 2},
      {"ovra/http_authenticator/key_cache_refetches", 3},
      {"ovra/http_authenticator/key_fetch_failures", 2},
      {"ovra/http_authenticator/key_fetches", 4},
      {fetch, 0},
      {fetch + "/count", 4}};
  for (const char* field :
       {"/min", "/max", "/p50", "/p90", "/p95", "/p99", "/p999", "/p9999"}) {
    expected[fetch + field] = 0;
  }
  EXPECT_EQ(expected, metrics_snapshot::read("ovra/http_authenticator/").get());

  // A module's metrics go with it; the next one counts from zero.
  module.reset();
  OVRAHTTPAuthenticator::Flags flags;
  flags.host = "master";
  flags.iam = iam_->url();
  flags.audit_log = false;
  flags.anonymous_principal = "anonymous";
  OVRAHTTPAuthenticator anonymous(flags, None());
  EXPECT_EQ("anonymous", outcome(anonymous, None()));

  const metrics_snapshot::Values counts =
      metrics_snapshot::read("ovra/http_authenticator/").get();
  EXPECT_EQ(1, counts.at("ovra/http_authenticator/allowed_anonymous"));
  EXPECT_EQ(0, counts.at("ovra/http_authenticator/allowed"));
  EXPECT_EQ(0u, counts.count(fetch + "/count"));
}
