// The IAM service's public key: JWKS documents read into keys, and the
// key set fetched from the development IAM service on loopback.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <openssl/err.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/try.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/jwk.hpp"
#include "common/sentrel/jwt.hpp"

#include "support/dev_iam_service.hpp"
#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/json_text.hpp"
#include "support/log_capture.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using mesos::sentrel::JWK::extractPublicKey;
using mesos::sentrel::JWK::querySentrelPublicKey;

using process::Clock;
using process::Future;
using process::Owned;

using process::http::URL;

using json_text::quoted;

namespace {

const char FAILURE[] = "Failed to obtain sentrel public key";


std::string document(const std::string& n, const std::string& e)
{
  return R"({"keys":[{"kty":"RSA","n":)" + n + R"(,"e":)" + e + "}]}";
}


const std::string GOOD = document(quoted(test_keys::MODULUS), quoted("AQAB"));


// True if `key` verifies a signature made with test_keys::PRIVATE_KEY.
bool isTestKey(const std::shared_ptr<RSA>& key)
{
  std::shared_ptr<RSA> privateKey =
      openssl::privateKey(test_keys::PRIVATE_KEY).get();
  const std::string signature = openssl::signature("message", privateKey).get();
  Try<bool> valid = openssl::validateSignature("message", signature, key);
  return valid.isSome() && valid.get();
}


class JWKSTest : public test_iam::ServiceTest
{
protected:
  void TearDown() override
  {
    ServiceTest::TearDown();
    EXPECT_EQ(0u, ERR_peek_error());
  }

  // The key fetched while the key set endpoint answers `response`.
  Future<std::shared_ptr<RSA>> fetchWith(
      const process::http::Response& response)
  {
    EXPECT_TRUE(ready(iam_->answer(dev_iam::Endpoint::JWKS, response)));
    return querySentrelPublicKey(iam_->jwksUrl(), Seconds(5));
  }
};

} // namespace {


TEST(ExtractPublicKeyTest, AcceptsTheFirstKey)
{
  const std::string padded =
      document(quoted(std::string(test_keys::MODULUS) + "=="), quoted("AQAB="));

  for (const std::string& jwk : {GOOD, padded}) {
    Try<std::shared_ptr<RSA>> key = extractPublicKey(jwk);
    ASSERT_TRUE(key.isSome()) << key.error();
    EXPECT_TRUE(isTestKey(key.get()));
  }

  LogCapture log;
  Try<std::shared_ptr<RSA>> key = extractPublicKey(
      R"({"keys":[{"n":")" + std::string(test_keys::MODULUS) +
      R"(","e":"AQAB"},{"n":"*"},[]]})");

  ASSERT_TRUE(key.isSome()) << key.error();
  EXPECT_TRUE(isTestKey(key.get()));
  EXPECT_TRUE(log.contains(
      google::GLOG_INFO,
      "Expected one key in JSON Web Key string, found 3; Using first key"));
}


TEST(ExtractPublicKeyTest, RejectsBadDocuments)
{
  const std::string e = quoted("AQAB");
  const std::string n = quoted(test_keys::MODULUS);

  const struct
  {
    std::string jwk;
    std::string error;
  } cases[] = {
      {"[]",
       "Could not parse JSON Web Key string: Unexpected JSON type parsed"},
      {"{}", "Could not locate 'keys' in JSON Web Key string"},
      {R"({"keys":null})",
       "Error when extracting 'keys' field from JSON Web Key string: Found "
       "JSON value of wrong type"},
      {R"({"keys":{}})",
       "Error when extracting 'keys' field from JSON Web Key string: Found "
       "JSON value of wrong type"},
      {R"({"keys":[]})", "Field 'keys' in JSON Web Key string is empty"},
      {R"({"keys":["key"]})",
       "Key in JSON Web Key string is not a map as expected"},
      {R"({"keys":[{"e":"AQAB"}]})",
       "Could not locate 'n' in JSON Web Key string"},
      {document("5", e),
       "Error when extracting 'n' field from JSON Web Key string: Found JSON "
       "value of wrong type"},
      {document(quoted("ab*"), e),
       "Could not base64-decode field 'n' in JSON Web Key string: Invalid "
       "character '*'"},
      {R"({"keys":[{"n":)" + n + "}]}",
       "Could not locate 'e' in JSON Web Key string"},
      {document(n, "[]"),
       "Error when extracting 'e' field from JSON Web Key string: Found JSON "
       "value of wrong type"},
      {document(n, quoted("AQ.B")),
       "Could not base64-decode field 'e' in JSON Web Key string: Invalid "
       "character '.'"},
  };

  for (const auto& c : cases) {
    Try<std::shared_ptr<RSA>> key = extractPublicKey(c.jwk);
    ASSERT_TRUE(key.isError()) << c.jwk;
    EXPECT_EQ(c.error, key.error()) << c.jwk;
  }
}


// Every prefix of a good document, and binary text, fail to parse.
TEST(ExtractPublicKeyTest, TruncatedAndBinaryDocumentsFail)
{
  for (size_t length = 0; length < GOOD.size(); ++length) {
    Try<std::shared_ptr<RSA>> key = extractPublicKey(GOOD.substr(0, length));
    ASSERT_TRUE(key.isError()) << length;
    EXPECT_EQ(0u, key.error().rfind("Could not parse JSON Web Key string: ", 0))
        << key.error();
  }

  std::string binary;
  for (int i = 0; i < 1024; ++i) {
    binary += static_cast<char>((i * 91) & 0xff);
  }
  EXPECT_TRUE(extractPublicKey(binary).isError());
  EXPECT_TRUE(extractPublicKey(std::string(1 << 20, '[')).isError());
  EXPECT_EQ(0u, ERR_peek_error());
}


TEST_F(JWKSTest, FetchedKeyVerifiesTokensOfTheService)
{
  Future<std::shared_ptr<RSA>> key =
      querySentrelPublicKey(iam_->jwksUrl(), Seconds(5));
  ASSERT_TRUE(ready(key));
  EXPECT_TRUE(isTestKey(key.get()));

  // A token the service issues, signed by our generateRS256.
  Future<std::string> token = iam_->issueToken("alice");
  ASSERT_TRUE(ready(token));

  Future<bool> valid =
      mesos::sentrel::validateSignature(token.get(), key.get());
  ASSERT_TRUE(ready(valid));
  EXPECT_TRUE(valid.get());
}


TEST_F(JWKSTest, NonSuccessStatusesFail)
{
  const struct
  {
    process::http::Response response;
    std::string error;
  } cases[] = {
      {process::http::NotFound("no keys"),
       std::string(FAILURE) +
           ": Received non-success code (404 Not Found) "
           "when querying Sentrel's public key: no keys"},
      {process::http::InternalServerError("boom"),
       std::string(FAILURE) +
           ": Received non-success code (500 Internal "
           "Server Error) when querying Sentrel's public key: boom"},
      {process::http::Response(GOOD, 201),
       std::string(FAILURE) +
           ": Received non-success code (201 Created) when "
           "querying Sentrel's public key: " +
           GOOD},
  };

  for (const auto& c : cases) {
    EXPECT_TRUE(failed(fetchWith(c.response), c.error));
  }

  // A path nothing serves.
  URL url = iam_->jwksUrl();
  url.path = "/nobody/api/v1/auth/jwks";
  Future<std::shared_ptr<RSA>> key = querySentrelPublicKey(url, Seconds(5));
  ASSERT_TRUE(key.await(Seconds(15)));
  ASSERT_TRUE(key.isFailed());
  EXPECT_EQ(
      0u,
      key.failure().rfind(
          std::string(FAILURE) + ": Received non-success code (404 Not Found)",
          0))
      << key.failure();
}


TEST_F(JWKSTest, BadDocumentsFail)
{
  const std::string prefix = std::string(FAILURE) +
      ": Error while extracting public key from Sentrel response: ";

  const struct
  {
    std::string body;
    std::string error;
  } cases[] = {
      {"{}", "Could not locate 'keys' in JSON Web Key string"},
      {R"({"keys":[]})", "Field 'keys' in JSON Web Key string is empty"},
      {GOOD.substr(0, GOOD.size() - 2),
       extractPublicKey(GOOD.substr(0, GOOD.size() - 2)).error()},
      {std::string("\x00\xff\x7f", 3),
       extractPublicKey(std::string("\x00\xff\x7f", 3)).error()},
  };

  for (const auto& c : cases) {
    EXPECT_TRUE(failed(
        fetchWith(process::http::OK(c.body, "application/json")),
        prefix + c.error));
  }
}


// A hostile IAM service: a key set nested far past the parser's bound, an
// error body of megabytes. Each fails clearly, quoting only a bounded
// piece of what came.
TEST_F(JWKSTest, HostileAnswersFailWithBoundedMessages)
{
  std::string deep;
  for (int i = 0; i < 60000; ++i) {
    deep += "{\"keys\":";
  }
  deep += "1" + std::string(60000, '}');

  EXPECT_TRUE(failed(
      fetchWith(process::http::OK(deep, "application/json")),
      std::string(FAILURE) +
          ": Error while extracting public key from Sentrel response: Could "
          "not parse JSON Web Key string: JSON nests deeper than 100 levels"));

  const std::string huge(8 * 1024 * 1024, 'x');
  Future<std::shared_ptr<RSA>> key = fetchWith(process::http::NotFound(huge));
  ASSERT_TRUE(key.await(Seconds(15)));
  ASSERT_TRUE(key.isFailed());
  EXPECT_GT(4096u + 200u, key.failure().size());
  EXPECT_EQ(
      std::string(FAILURE) +
          ": Received non-success code (404 Not Found) "
          "when querying Sentrel's public key: " +
          std::string(4096, 'x') + "... (8388608 bytes in all)",
      key.failure());

  // A broken document of megabytes is quoted no further than a short
  // excerpt.
  key = fetchWith(process::http::OK("{\"keys\": " + huge, "application/json"));
  ASSERT_TRUE(key.await(Seconds(15)));
  ASSERT_TRUE(key.isFailed());
  EXPECT_GT(2048u, key.failure().size());
}


// The time limit fires exactly at the limit, not a nanosecond before.
TEST_F(JWKSTest, SilentServiceTimesOutAtTheLimit)
{
  fault_peer::FaultPeer peer;
  ASSERT_NE(0, peer.port());
  peer.setDefault(fault_peer::Behaviour::silent());

  Clock::pause();

  Future<std::shared_ptr<RSA>> key = querySentrelPublicKey(
      URL::parse(peer.url("/acs/api/v1/auth/jwks")).get(), Seconds(5));

  Clock::advance(Seconds(5) - Nanoseconds(1));
  Clock::settle();
  EXPECT_TRUE(key.isPending());

  Clock::advance(Nanoseconds(1));
  Clock::settle();
  EXPECT_TRUE(
      failed(key, std::string(FAILURE) + ": Request timed out after 5secs"));
}


// Past the time limit the fetch is dropped: a service that answers with an
// endless body is not read on.
TEST_F(JWKSTest, TimedOutFetchClosesItsConnection)
{
  fault_peer::FaultPeer peer;
  peer.setDefault(fault_peer::Behaviour::endless());
  Clock::pause();
  Future<std::shared_ptr<RSA>> key = querySentrelPublicKey(
      URL("http",
          net::IP(INADDR_LOOPBACK),
          peer.port(),
          "/acs/api/v1/auth/jwks"),
      Seconds(5));
  ASSERT_TRUE(peer.waitForRequest(1));

  Clock::advance(Seconds(5));
  Clock::settle();
  EXPECT_TRUE(
      failed(key, std::string(FAILURE) + ": Request timed out after 5secs"));
  Clock::resume();

  EXPECT_TRUE(peer.waitForClientClose(1));
}


TEST_F(JWKSTest, UnreachableServiceFails)
{
  URL url = URL::parse("http://127.0.0.1:1/acs/api/v1/auth/jwks").get();

  Future<std::shared_ptr<RSA>> key = querySentrelPublicKey(url, Seconds(5));
  ASSERT_TRUE(key.await(Seconds(15)));
  EXPECT_TRUE(key.isFailed());
}
