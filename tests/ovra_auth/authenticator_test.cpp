// The HTTP authenticator as Mesos's HTTP server calls it: token extraction,
// the anonymous fallback, signature checks against the development IAM
// service's key, the shared key fetch and its time limit, and the audit
// record of every decision.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/dispatch.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/try.hpp>

#include "common/sentrel/jwt.hpp"
#include "ovra_auth/authenticator.hpp"

#include "support/audit_records.hpp"
#include "support/dev_iam_service.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/json_text.hpp"
#include "support/log_capture.hpp"
#include "support/test_keys.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

using mesos::ovra::OVRAHTTPAuthenticator;

using process::Clock;
using process::Future;
using process::Owned;

using process::http::Request;
using process::http::URL;
using process::http::authentication::AuthenticationResult;

using json_text::quoted;

namespace {


Request request(const Option<std::string>& authorization)
{
  Request request;
  request.method = "GET";
  request.url.path = "/master/state";
  request.headers["User-Agent"] = "ovra-test";
  if (authorization.isSome()) {
    request.headers["Authorization"] = authorization.get();
  }
  return request;
}


OVRAHTTPAuthenticator::Flags authenticatorFlags(
    const std::string& host,
    const URL& iam,
    const Option<std::string>& anonymous = None())
{
  OVRAHTTPAuthenticator::Flags flags;
  flags.host = host;
  flags.iam = iam;
  flags.anonymous_principal = anonymous;
  return flags;
}


// Waits for `future` and returns its result; a failure or a time-out fails
// the calling test.
AuthenticationResult result(const Future<AuthenticationResult>& future)
{
  EXPECT_TRUE(ready(future));
  return future.isReady() ? future.get() : AuthenticationResult();
}


void expectUnauthorized(const AuthenticationResult& result)
{
  EXPECT_TRUE(result.principal.isNone());
  ASSERT_TRUE(result.unauthorized.isSome());
  EXPECT_EQ(401, result.unauthorized->code);
  EXPECT_EQ(
      Option<std::string>("acsjwt"),
      result.unauthorized->headers.get("WWW-Authenticate"));
}


class HttpAuthenticatorTest : public test_iam::ServiceTest
{
protected:
  std::string token(const std::string& uid)
  {
    Future<std::string> token = iam_->issueToken(uid);
    EXPECT_TRUE(ready(token));
    return token.isReady() ? token.get() : "";
  }
};


// A key set endpoint that holds every answer until released, so that a
// test controls when a key fetch ends. It serves the path of the IAM
// service's key set, with the test key, and counts its requests.
class GatedKeySet : public process::Process<GatedKeySet>
{
public:
  GatedKeySet() : ProcessBase("acs") {}

  size_t requests() { return requests_; }

  void release()
  {
    released_ = true;
    for (process::Promise<process::http::Response>& answer : pending_) {
      answer.set(document());
    }
    pending_.clear();
  }

protected:
  void initialize() override
  {
    route("/api/v1/auth/jwks", None(), [this](const Request&) {
      ++requests_;
      if (released_) {
        return Future<process::http::Response>(document());
      }
      pending_.emplace_back();
      return pending_.back().future();
    });
  }

private:
  static process::http::Response document()
  {
    return process::http::OK(
        std::string(R"({"keys":[{"kty":"RSA","n":")") + test_keys::MODULUS +
        R"(","e":")" + test_keys::EXPONENT + R"("}]})");
  }

  size_t requests_ = 0;
  bool released_ = false;
  std::vector<process::Promise<process::http::Response>> pending_;
};


// A signature check that accepts everything: the tests of the token rules
// need no key.
OVRAHTTPAuthenticator::SignatureValidator acceptAll()
{
  return [](const std::string&) { return Future<bool>(true); };
}

} // namespace {


TEST_F(HttpAuthenticatorTest, TokenExtractionRules)
{
  struct Case
  {
    Option<std::string> authorization;
    std::string reason;
  };

  const Case cases[] = {
      {None(), "Missing 'Authorization' header from HTTP request"},
      {std::string("Bearer abc.def.ghi"),
       "Missing 'token' in 'Authorization' HTTP header"},
      {std::string("Token=abc.def.ghi"),
       "Missing 'token' in 'Authorization' HTTP header"},
      {std::string(" token=abc.def.ghi"),
       "Missing 'token' in 'Authorization' HTTP header"},
      {std::string("tokenabc"),
       "Missing 'token' in 'Authorization' HTTP header"},
      {std::string("token="), "Expected three components in token, got 1"},
      {std::string("token=a.b.c.d"),
       "Expected three components in token, got 4"},
  };

  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", iam_->url()), acceptAll());

  for (const Case& c : cases) {
    SCOPED_TRACE(c.authorization.getOrElse("(no header)"));

    LogCapture log;
    expectUnauthorized(
        result(authenticator.authenticate(request(c.authorization))));

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(quoted(c.reason), records[0].at("reason"));
    EXPECT_EQ("deny", records[0].at("result"));
    EXPECT_EQ(0u, records[0].count("uid"));
  }
}


TEST_F(HttpAuthenticatorTest, AnonymousFallbackOnlyWithoutToken)
{
  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", iam_->url(), std::string("anonymous")),
      acceptAll());

  {
    LogCapture log;
    Request anonymous = request(None());
    AuthenticationResult outcome =
        result(authenticator.authenticate(anonymous));
    EXPECT_EQ(Option<std::string>("anonymous"), outcome.principal);
    EXPECT_TRUE(outcome.unauthorized.isNone());

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("allow", records[0].at("result"));
    EXPECT_EQ(
        quoted("Error in token 'Missing 'Authorization' header from "
               "HTTP request'. Allowing anonymous connection"),
        records[0].at("reason"));

    EXPECT_TRUE(log.contains(
        google::GLOG_WARNING,
        "Falling back to anonymous connection using user 'anonymous'"));
  }

  // A token that is present but bad is refused, anonymous or not.
  LogCapture log;
  expectUnauthorized(
      result(authenticator.authenticate(request(std::string("token=")))));
  EXPECT_TRUE(log.contains(
      google::GLOG_WARNING, "Expected three components in token, got 1"));
}


TEST_F(HttpAuthenticatorTest, TokensCheckedAgainstTheServiceKey)
{
  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("agent", iam_->url()), None());

  {
    LogCapture log;
    AuthenticationResult outcome =
        result(authenticator.authenticate(request("token=" + token("alice"))));
    EXPECT_EQ(Option<std::string>("alice"), outcome.principal);

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("allow", records[0].at("result"));
    EXPECT_EQ(quoted("alice"), records[0].at("uid"));
    EXPECT_EQ(quoted("Valid authorization token"), records[0].at("reason"));
    EXPECT_EQ(quoted("mesos-agent"), records[0].at("authorizer"));
    EXPECT_EQ(quoted("GET"), records[0].at("action"));
    EXPECT_EQ(quoted("/master/state"), records[0].at("object"));
    EXPECT_EQ(quoted("ovra-test"), records[0].at("agent"));
  }

  // Signed by another key: a refusal, with the token's uid in the record.
  dev_iam::KeyPair other{
      test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY};
  Future<std::string> forged =
      dev_iam::issueToken(other, "mallory", Clock::now() + Hours(1));
  ASSERT_TRUE(ready(forged));

  LogCapture log;
  expectUnauthorized(
      result(authenticator.authenticate(request("token=" + forged.get()))));

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("deny", records[0].at("result"));
  EXPECT_EQ(quoted("mallory"), records[0].at("uid"));
  EXPECT_EQ(
      quoted("Invalid authorization token signature"), records[0].at("reason"));
}


TEST_F(HttpAuthenticatorTest, ExpiredTokenIsRefused)
{
  const std::string alice = token("alice");

  Clock::pause();
  Clock::advance(Hours(2));

  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", iam_->url()), None());

  LogCapture log;
  expectUnauthorized(
      result(authenticator.authenticate(request("token=" + alice))));

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(
      0u,
      records[0].at("reason").find(
          "\"Token for uid 'alice' has expired: exp("));
}


// Tokens made to exhaust the parser: a payload nested far past the bound
// within the size limit, and one far beyond the size limit (66 KiB of '['
// would overflow the stack of stout's parser). Each is refused with its
// reason, and the module goes on serving.
TEST_F(HttpAuthenticatorTest, HostileTokensAreRefusedBeforeTheyAreParsed)
{
  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", iam_->url()), None());

  const std::string header = R"({"alg":"RS256","typ":"JWT"})";
  const std::string nested =
      test_tokens::token(header, std::string(12000, '['));
  const std::string huge = test_tokens::token(header, std::string(50000, '['));
  ASSERT_GT(mesos::sentrel::MAX_TOKEN_SIZE, nested.size());

  const struct
  {
    std::string token;
    std::string reason;
  } cases[] = {
      {nested,
       "Could not tokenize payload: Could not parse token JSON payload: JSON "
       "nests deeper than 100 levels"},
      {huge,
       "Token of " + std::to_string(huge.size()) +
           " bytes exceeds the limit "
           "of 16384 bytes"},
  };

  for (const auto& c : cases) {
    LogCapture log;
    expectUnauthorized(
        result(authenticator.authenticate(request("token=" + c.token))));

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("deny", records[0].at("result"));
    EXPECT_EQ(quoted(c.reason), records[0].at("reason"));
  }

  EXPECT_EQ(
      Option<std::string>("alice"),
      result(authenticator.authenticate(request("token=" + token("alice"))))
          .principal);
}


TEST(HttpAuthenticatorKeyFetchTest, ConcurrentRequestsShareOneKeyFetch)
{
  dev_iam::KeyPair key{test_keys::PRIVATE_KEY, test_keys::PUBLIC_KEY};
  Future<std::string> token =
      dev_iam::issueToken(key, "alice", Clock::now() + Hours(1));
  ASSERT_TRUE(ready(token));
  const Request alice = request("token=" + token.get());

  GatedKeySet keySet;
  process::spawn(keySet);

  // Settling needs a paused clock; no time limit comes near expiring here.
  Clock::pause();

  const URL iam("http", "127.0.0.1", process::address().port, "/");
  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", iam), None());

  // Both requests have reached the authenticator's actor while the fetch
  // that the first started is held.
  Future<AuthenticationResult> first = authenticator.authenticate(alice);
  Future<AuthenticationResult> second = authenticator.authenticate(alice);
  Clock::settle();
  process::dispatch(keySet, &GatedKeySet::release);

  EXPECT_EQ(Option<std::string>("alice"), result(first).principal);
  EXPECT_EQ(Option<std::string>("alice"), result(second).principal);

  Future<size_t> together = process::dispatch(keySet, &GatedKeySet::requests);
  ASSERT_TRUE(ready(together));
  EXPECT_EQ(1u, together.get());

  // The key is not kept: a later request fetches again.
  EXPECT_EQ(
      Option<std::string>("alice"),
      result(authenticator.authenticate(alice)).principal);

  Future<size_t> after = process::dispatch(keySet, &GatedKeySet::requests);
  ASSERT_TRUE(ready(after));
  EXPECT_EQ(2u, after.get());

  process::terminate(keySet);
  process::wait(keySet);
  Clock::resume();
}


// Every caller that shared a failed fetch sees the same failure, and the
// next request starts a new fetch.
TEST_F(HttpAuthenticatorTest, SilentServiceFailsAtTheTimeLimit)
{
  fault_peer::FaultPeer peer;
  ASSERT_NE(0, peer.port());
  peer.setDefault(fault_peer::Behaviour::silent());

  const std::string alice = "token=" + token("alice");

  Clock::pause();

  OVRAHTTPAuthenticator authenticator(
      authenticatorFlags("master", URL::parse(peer.url("/")).get()), None());

  LogCapture log;
  Future<AuthenticationResult> first =
      authenticator.authenticate(request(alice));
  Future<AuthenticationResult> second =
      authenticator.authenticate(request(alice));

  Clock::settle();
  EXPECT_TRUE(first.isPending());

  Clock::advance(Seconds(5));
  Clock::settle();

  const std::string failure =
      "Failed to obtain sentrel public key: Request timed out after 5secs";
  EXPECT_TRUE(failed(first, failure));
  EXPECT_TRUE(failed(second, failure));

  // No decision, no audit record.
  EXPECT_TRUE(audit_records::records(log).empty());

  Future<AuthenticationResult> third =
      authenticator.authenticate(request(alice));
  Clock::settle();
  EXPECT_TRUE(third.isPending());

  Clock::advance(Seconds(5));
  Clock::settle();
  EXPECT_TRUE(failed(third, failure));
}


// Requests waiting on a key fetch when the module goes fail with a clear
// message instead of waiting for ever.
TEST_F(HttpAuthenticatorTest, DestroyingTheModuleFailsTheRequestsInFlight)
{
  fault_peer::FaultPeer peer;
  ASSERT_NE(0, peer.port());
  peer.setDefault(fault_peer::Behaviour::silent());

  auto authenticator = std::make_unique<OVRAHTTPAuthenticator>(
      authenticatorFlags("master", URL::parse(peer.url("/")).get()), None());

  // Both requests wait on the fetch once the actor has taken them.
  const std::string alice = "token=" + token("alice");
  Clock::pause();
  Future<AuthenticationResult> first =
      authenticator->authenticate(request(alice));
  Future<AuthenticationResult> second =
      authenticator->authenticate(request(alice));
  Clock::settle();
  EXPECT_TRUE(first.isPending());

  authenticator.reset();
  Clock::resume();

  const std::string failure =
      "Failed to obtain sentrel public key: the authenticator is being "
      "destroyed";
  EXPECT_TRUE(failed(first, failure));
  EXPECT_TRUE(failed(second, failure));
}
