// Service-account login: credential files, and the token exchange with the
// development IAM service on loopback.

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/path.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"
#include "common/sentrel/jwk.hpp"
#include "common/sentrel/jwt.hpp"
#include "common/sentrel/login.hpp"

#include "support/dev_iam_service.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/temporary_directory.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using mesos::sentrel::JWT;
using mesos::sentrel::getCredentialFromServiceAccountJson;
using mesos::sentrel::getSignedTokenFromSentrel;

using process::Clock;
using process::Future;
using process::Owned;
using process::Promise;
using process::Time;

using process::http::OK;
using process::http::Request;
using process::http::Response;

namespace {

// A login endpoint that keeps the first request it gets and answers every
// request with an empty token.
class RecordingProcess : public process::Process<RecordingProcess>
{
public:
  RecordingProcess() : ProcessBase("login_recorder") {}

  Future<Request> request() const { return request_.future(); }

protected:
  void initialize() override
  {
    route("/login", None(), [this](const Request& request) -> Future<Response> {
      request_.set(request);
      return OK(std::string(R"({"token":""})"), "application/json");
    });
  }

private:
  Promise<Request> request_;
};


class LoginTest : public test_iam::ServiceTest
{
protected:
  void SetUp() override
  {
    ServiceTest::SetUp();
    if (!HasFatalFailure()) {
      credential_ = test_iam::credential(*iam_);
    }
  }

  // Logs in with a login token of 5 minutes and asks for `exp`.
  Future<std::string> login(
      const corvanta::Credential& credential,
      const Option<Time>& exp = None())
  {
    Future<std::string> jwt =
        JWT::generateRS256(credential, Clock::now() + Minutes(5));
    EXPECT_TRUE(jwt.isReady());
    return getSignedTokenFromSentrel(credential, jwt.get(), exp, Seconds(5));
  }

  // The login's outcome while the login endpoint answers `response`.
  Future<std::string> loginWith(const Response& response)
  {
    EXPECT_TRUE(ready(iam_->answer(dev_iam::Endpoint::LOGIN, response)));
    return login(credential_);
  }

  corvanta::Credential credential_;
};

} // namespace {


TEST_F(LoginTest, LoginYieldsATokenOfTheService)
{
  Future<std::string> token = login(credential_);
  ASSERT_TRUE(ready(token));

  Try<JWT> jwt = JWT::parse(token.get());
  ASSERT_TRUE(jwt.isSome()) << jwt.error();
  EXPECT_EQ(test_iam::SERVICE_ACCOUNT, jwt->payload.uid);
  ASSERT_TRUE(jwt->payload.exp.isSome());

  // Signed by the service's key, as its key set publishes it.
  Future<std::shared_ptr<RSA>> key =
      mesos::sentrel::JWK::querySentrelPublicKey(iam_->jwksUrl(), Seconds(5));
  ASSERT_TRUE(ready(key));

  Future<bool> valid =
      mesos::sentrel::validateSignature(token.get(), key.get());
  ASSERT_TRUE(ready(valid));
  EXPECT_TRUE(valid.get());

  // An expiry asked for is honoured when earlier than the service's own.
  const Time exp = Clock::now() + Seconds(90);
  Future<std::string> shorter = login(credential_, exp);
  ASSERT_TRUE(ready(shorter));
  Try<JWT> shorterJwt = JWT::parse(shorter.get());
  ASSERT_TRUE(shorterJwt.isSome()) << shorterJwt.error();
  EXPECT_EQ(static_cast<long>(exp.secs()), shorterJwt->payload.exp.get());
}


TEST_F(LoginTest, RequestCarriesTheCompactBody)
{
  RecordingProcess recorder;
  process::spawn(recorder);

  const std::string endpoint = "http://127.0.0.1:" +
      std::to_string(process::address().port) + "/login_recorder/login";

  corvanta::Credential credential = credential_;
  credential.set_login_endpoint(endpoint);

  Future<std::string> token =
      getSignedTokenFromSentrel(credential, "a.b.c", None(), Seconds(5));
  ASSERT_TRUE(ready(token));
  EXPECT_EQ("", token.get());

  Future<Request> request = recorder.request();
  ASSERT_TRUE(ready(request));
  EXPECT_EQ("POST", request->method);
  EXPECT_EQ(R"({"token":"a.b.c","uid":"svc-agent"})", request->body);
  EXPECT_EQ(
      Option<std::string>("application/json"),
      request->headers.get("Content-Type"));

  process::terminate(recorder);
  process::wait(recorder);

  // With an expiry, "exp" comes first and keeps its fraction.
  RecordingProcess second;
  process::spawn(second);

  token = getSignedTokenFromSentrel(
      credential, "t", Time::epoch() + Milliseconds(1700000000500), Seconds(5));
  ASSERT_TRUE(ready(token));

  request = second.request();
  ASSERT_TRUE(ready(request));
  EXPECT_EQ(
      R"({"exp":1700000000.5,"token":"t","uid":"svc-agent"})", request->body);

  process::terminate(second);
  process::wait(second);
}


TEST_F(LoginTest, StatusOtherThan200OKFails)
{
  const struct
  {
    Response response;
    std::string error;
  } cases[] = {
      {Response(R"({"token":"x"})", 201),
       "Sentrel returned status: 201 Created"},
      {Response(204), "Sentrel returned status: 204 No Content"},
      {Response(401), "Sentrel returned status: 401 Unauthorized"},
      {Response("down", 503),
       "Sentrel returned status: 503 Service Unavailable"},
  };

  for (const auto& c : cases) {
    EXPECT_TRUE(failed(loginWith(c.response), c.error));
  }
}


TEST_F(LoginTest, BadAnswersFail)
{
  const struct
  {
    std::string body;
    std::string error;
  } cases[] = {
      {"not json",
       "Failed to parse Sentrel response json: " +
           JSON::parse<JSON::Object>("not json").error()},
      {R"(["token"])",
       "Failed to parse Sentrel response json: Unexpected JSON type parsed"},
      {std::string("{\"token\":\"\x00", 11),
       "Failed to parse Sentrel response json: " +
           JSON::parse<JSON::Object>(std::string("{\"token\":\"\x00", 11))
               .error()},
      {"{}",
       "Failed to parse Sentrel response: Missing required fields: token"},
      {R"({"token":null})",
       "Failed to parse Sentrel response: Missing required fields: token"},
      {R"({"token":5})",
       "Failed to parse Sentrel response: Not expecting a JSON number for "
       "field 'token'"},
      {"{\"token\":" + std::string(100000, '[') + "}",
       "Failed to parse Sentrel response json: JSON nests deeper than 100 "
       "levels"},
  };

  for (const auto& c : cases) {
    EXPECT_TRUE(failed(loginWith(OK(c.body, "application/json")), c.error));
  }

  // A broken answer of megabytes is quoted no further than a short
  // excerpt.
  Future<std::string> broken = loginWith(
      OK("{\"token\": " + std::string(4 << 20, 'x'), "application/json"));
  ASSERT_TRUE(broken.await(Seconds(15)));
  ASSERT_TRUE(broken.isFailed());
  EXPECT_GT(512u, broken.failure().size());

  Future<std::string> token = loginWith(
      OK(std::string(R"({"token":"","other":1})"), "application/json"));
  ASSERT_TRUE(ready(token));
  EXPECT_EQ("", token.get());
}


TEST_F(LoginTest, ServiceRefusesBadLoginTokens)
{
  corvanta::Credential wrongKey = credential_;
  wrongKey.set_private_key(test_keys::PRIVATE_KEY);

  corvanta::Credential unknown = credential_;
  unknown.set_uid("nobody");

  for (const corvanta::Credential& credential : {wrongKey, unknown}) {
    EXPECT_TRUE(
        failed(login(credential), "Sentrel returned status: 401 Unauthorized"));
  }

  // A login token that has expired, or that never does.
  Future<std::string> expired =
      JWT::generateRS256(credential_, Clock::now() - Seconds(1));
  Future<std::string> endless = JWT::generateRS256(credential_, None());

  for (const Future<std::string>& jwt : {expired, endless}) {
    ASSERT_TRUE(jwt.isReady());
    EXPECT_TRUE(failed(
        getSignedTokenFromSentrel(credential_, jwt.get(), None(), Seconds(5)),
        "Sentrel returned status: 401 Unauthorized"));
  }
}


// Nothing is sent for an endpoint that is not a URL: the future has
// failed already when the call returns.
TEST_F(LoginTest, UnparsableLoginEndpointFailsAtOnce)
{
  for (const std::string& endpoint :
       {std::string("not a url"),
        std::string(),
        std::string("http://"),
        std::string("http://127.0.0.1:port/login"),
        std::string("ftp://127.0.0.1/login")}) {
    corvanta::Credential credential = credential_;
    credential.set_login_endpoint(endpoint);

    Try<process::http::URL> url = process::http::URL::parse(endpoint);
    ASSERT_TRUE(url.isError()) << endpoint;

    Future<std::string> token =
        getSignedTokenFromSentrel(credential, "a.b.c", None(), Seconds(5));
    ASSERT_TRUE(token.isFailed()) << endpoint;
    EXPECT_EQ(
        "Failed to parse the login endpoint: " + url.error(), token.failure());
  }
}


TEST_F(LoginTest, SilentServiceTimesOutAtTheLimit)
{
  fault_peer::FaultPeer peer;
  ASSERT_NE(0, peer.port());
  peer.setDefault(fault_peer::Behaviour::silent());

  corvanta::Credential credential = credential_;
  credential.set_login_endpoint(peer.url("/acs/api/v1/auth/login"));

  Clock::pause();

  Future<std::string> token =
      getSignedTokenFromSentrel(credential, "a.b.c", None(), Seconds(10));

  Clock::advance(Seconds(10) - Nanoseconds(1));
  Clock::settle();
  EXPECT_TRUE(token.isPending());

  Clock::advance(Nanoseconds(1));
  Clock::settle();
  EXPECT_TRUE(
      failed(token, "Failed to contact Sentrel: Timed out after 10secs"));
}


TEST(ServiceAccountFileTest, ReadsUidAndPrivateKeyOnly)
{
  TemporaryDirectory directory;
  const std::string path = directory.write(
      "account.json",
      R"({"uid":"svc","private_key":"PEM","scheme":"RS256",)"
      R"("login_endpoint":"http://x/","other":[1]})");

  for (const std::string& name : {path, "file://" + path}) {
    Try<corvanta::Credential> credential =
        getCredentialFromServiceAccountJson(Path(name));
    ASSERT_TRUE(credential.isSome()) << credential.error();
    EXPECT_EQ("svc", credential->uid());
    EXPECT_EQ("PEM", credential->private_key());
    EXPECT_FALSE(credential->has_scheme());
    EXPECT_FALSE(credential->has_login_endpoint());
  }
}


TEST(ServiceAccountFileTest, BadFilesAreRefused)
{
  TemporaryDirectory directory;

  const std::string parse = "Could not parse service account configuration: ";

  const struct
  {
    std::string content;
    std::string error;
  } cases[] = {
      {"", parse + JSON::parse<JSON::Object>("").error()},
      {R"({"uid":"svc","private_key":"PE)",
       parse +
           JSON::parse<JSON::Object>(R"({"uid":"svc","private_key":"PE)")
               .error()},
      {std::string(
           "\x7f"
           "ELF\x00\x01",
           6),
       parse +
           JSON::parse<JSON::Object>(std::string(
                                         "\x7f"
                                         "ELF\x00\x01",
                                         6))
               .error()},
      {"[]", parse + "Unexpected JSON type parsed"},
      {R"({"uid":"svc"})",
       "Could not locate 'private_key' is service account configuration"},
      {R"({"uid":"svc","private_key":null})",
       "Error when extracting 'private_key' field from service account "
       "configuration: Found JSON value of wrong type"},
      {R"({"uid":"svc","private_key":["PEM"]})",
       "Error when extracting 'private_key' field from service account "
       "configuration: Found JSON value of wrong type"},
      {R"({"private_key":"PEM"})",
       "Could not locate 'uid' is service account configuration"},
      {R"({"private_key":"PEM","uid":7})",
       "Error when extracting 'uid' field from service account configuration: "
       "Found JSON value of wrong type"},
  };

  for (const auto& c : cases) {
    Try<corvanta::Credential> credential = getCredentialFromServiceAccountJson(
        Path(directory.write("account.json", c.content)));
    ASSERT_TRUE(credential.isError()) << c.content;
    EXPECT_EQ(c.error, credential.error()) << c.content;
  }

  Try<corvanta::Credential> missing = getCredentialFromServiceAccountJson(
      Path(directory.path() + "/none.json"));
  ASSERT_TRUE(missing.isError());
  EXPECT_EQ(
      "Could not read service account configuration: Failed to open file: No "
      "such file or directory",
      missing.error());
}
