// The development IAM service itself: its permissions endpoint as the
// authorizer calls it, its checks of login requests, and its configuration.

#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "common/sentrel/jwt.hpp"

#include "support/dev_iam_service.hpp"
#include "support/futures.hpp"
#include "support/test_keys.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

using process::Clock;
using process::Future;
using process::Owned;

using process::http::Headers;
using process::http::Response;
using process::http::URL;

namespace {

class DevIAMTest : public ::testing::Test
{
protected:
  void start(const dev_iam::Config& config)
  {
    Try<Owned<dev_iam::DevIAM>> iam = dev_iam::DevIAM::start(config);
    ASSERT_TRUE(iam.isSome()) << iam.error();
    iam_ = iam.get();
  }

  void TearDown() override { iam_.reset(); }

  // GETs the permissions of `uid` as the authorizer builds the request
  // with its default flags: the `iam` URL's path "/" with
  // "/acs/api/v1/users/<uid>/permissions" appended, and format=json.
  Future<Response> permissions(
      const std::string& uid,
      const Option<std::string>& token = None())
  {
    URL url = iam_->url();
    url.path = url.path + "/acs/api/v1/users/" + uid + "/permissions";
    url.query["format"] = "json";

    Headers headers;
    if (token.isSome()) {
      headers["Authorization"] = "token=" + token.get();
    }
    return process::http::get(url, headers);
  }

  Future<Response> loginRequest(const std::string& body, bool post = true)
  {
    URL url = URL::parse(iam_->loginEndpoint()).get();
    return post ? process::http::post(
                      url, None(), body, std::string("application/json"))
                : process::http::get(url);
  }

  Owned<dev_iam::DevIAM> iam_;
};

} // namespace {


TEST_F(DevIAMTest, ServesPermissionsOnThePathWithTwoSlashes)
{
  start(test_iam::config());

  Future<Response> response = permissions("alice");
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(200u, response->code);
  EXPECT_EQ(
      JSON::parse(test_iam::ALICE_PERMISSIONS).get(),
      JSON::parse(response->body).get());

  response = permissions("bob");
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(404u, response->code);

  // The single-slash form is served too.
  URL url = iam_->url();
  url.path = "/acs/api/v1/users/alice/permissions";
  response = process::http::get(url);
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(200u, response->code);

  url.path = "/acs/api/v1/users/alice";
  response = process::http::get(url);
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(404u, response->code);

  Future<size_t> requests = iam_->requests(dev_iam::Endpoint::PERMISSIONS);
  ASSERT_TRUE(ready(requests));
  EXPECT_EQ(4u, requests.get());
}


TEST_F(DevIAMTest, PermissionsCanRequireAValidToken)
{
  dev_iam::Config config = test_iam::config();
  config.requireAuthorization = true;
  start(config);

  Future<std::string> issued = iam_->issueToken(test_iam::SERVICE_ACCOUNT);
  ASSERT_TRUE(ready(issued));

  const long now = static_cast<long>(Clock::now().secs());
  const std::string header = R"({"alg":"RS256","typ":"JWT"})";

  const struct
  {
    const char* name;
    Option<std::string> token;
    uint16_t code;
  } cases[] = {
      {"issued by the service", issued.get(), 200},
      {"no token", None(), 401},
      {"garbage", std::string("garbage"), 401},
      {"signed by another key",
       test_tokens::signedToken(
           header,
           R"({"uid":"svc-agent","exp":)" + stringify(now + 60) + "}",
           test_keys::OTHER_PRIVATE_KEY),
       401},
      {"expired",
       test_tokens::signedToken(
           header,
           R"({"uid":"svc-agent","exp":)" + stringify(now - 60) + "}",
           test_keys::PRIVATE_KEY),
       401},
  };

  for (const auto& c : cases) {
    Future<Response> response = permissions("alice", c.token);
    ASSERT_TRUE(ready(response)) << c.name;
    EXPECT_EQ(c.code, response->code) << c.name;
  }
}


TEST_F(DevIAMTest, RefusesMalformedLoginRequests)
{
  start(test_iam::config());

  const struct
  {
    std::string body;
    uint16_t code;
  } cases[] = {
      {"", 400},
      {"[]", 400},
      {R"({"uid":"svc-agent"})", 400},
      {R"({"uid":"svc-agent","token":7})", 400},
      {R"({"uid":"svc-agent","token":"a.b.c"})", 401},
      {R"({"uid":"nobody","token":"a.b.c"})", 401},
  };

  for (const auto& c : cases) {
    Future<Response> response = loginRequest(c.body);
    ASSERT_TRUE(ready(response)) << c.body;
    EXPECT_EQ(c.code, response->code) << c.body;
  }

  // A login token of one account presented for another.
  Future<std::string> token = dev_iam::issueToken(
      {test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY},
      "alice",
      Clock::now() + Minutes(1));
  ASSERT_TRUE(ready(token));

  JSON::Object body;
  body.values["uid"] = test_iam::SERVICE_ACCOUNT;
  body.values["token"] = token.get();
  Future<Response> response = loginRequest(stringify(body));
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(401u, response->code);

  response = loginRequest("", false);
  ASSERT_TRUE(ready(response));
  EXPECT_EQ(405u, response->code);
}


TEST(DevIAMConfigTest, ReadsTheDocument)
{
  JSON::Object document;
  document.values["private_key"] = test_keys::PRIVATE_KEY;
  document.values["token_lifetime"] = "10mins";
  document.values["require_authorization"] = true;
  document.values["users"] =
      JSON::parse(R"({"alice":{"direct":[],"groups":[]}})").get();

  JSON::Object account;
  account.values["public_key"] = test_keys::OTHER_PUBLIC_KEY;
  JSON::Object accounts;
  accounts.values["svc-agent"] = account;
  document.values["service_accounts"] = accounts;

  Try<dev_iam::Config> config = dev_iam::parseConfig(stringify(document));
  ASSERT_TRUE(config.isSome()) << config.error();
  EXPECT_FALSE(config->generatedKey);
  EXPECT_EQ(std::string(test_keys::PUBLIC_KEY), config->key.publicKey);
  EXPECT_EQ(Minutes(10), config->tokenLifetime);
  EXPECT_TRUE(config->requireAuthorization);
  EXPECT_EQ(1u, config->users.count("alice"));
  EXPECT_EQ(1u, config->serviceAccounts.count("svc-agent"));

  // Without a key the service makes its own.
  config = dev_iam::parseConfig("{}");
  ASSERT_TRUE(config.isSome()) << config.error();
  EXPECT_TRUE(config->generatedKey);
  EXPECT_FALSE(config->key.privateKey.empty());
  EXPECT_EQ(Hours(1), config->tokenLifetime);
}


TEST(DevIAMConfigTest, RefusesBadDocuments)
{
  EXPECT_TRUE(dev_iam::parseConfig("").isError());
  EXPECT_TRUE(dev_iam::parseConfig("[]").isError());
  EXPECT_TRUE(dev_iam::parseConfig(R"({"private_key":"not a key"})").isError());

  // Each beside a good key, so that no key is made.
  const char* members[] = {
      R"("token_lifetime":"forever")",
      R"("token_lifetime":5)",
      R"("require_authorization":"yes")",
      R"("users":{"alice":[]})",
      R"("service_accounts":{"svc":{}})",
      R"("service_accounts":{"svc":{"public_key":"not a key"}})",
  };

  const std::string key =
      "\"private_key\":" + stringify(JSON::String(test_keys::PRIVATE_KEY));

  for (const char* member : members) {
    EXPECT_TRUE(dev_iam::parseConfig("{" + key + "," + member + "}").isError())
        << member;
  }
}
