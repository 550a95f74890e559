// JSON Web Tokens: the base64url codec, parsing and its checks in their
// order, expiry against libprocess's clock, RS256 signatures made and
// checked.

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <openssl/err.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "common/openssl.hpp"
#include "common/sentrel.pb.h"
#include "common/sentrel/base64url.hpp"
#include "common/sentrel/jwt.hpp"

#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/test_keys.hpp"
#include "support/tokens.hpp"

using namespace ovra_test;

using mesos::sentrel::JWT;

using process::Clock;
using process::Future;
using process::Time;

using test_tokens::signedToken;
using test_tokens::token;

namespace {

const char HEADER[] = R"({"alg":"RS256","typ":"JWT"})";


corvanta::Credential credential(const std::string& scheme = "RS256")
{
  corvanta::Credential credential;
  credential.set_scheme(scheme);
  credential.set_uid("svc-agent");
  credential.set_private_key(test_keys::PRIVATE_KEY);
  credential.set_login_endpoint("http://127.0.0.1:1/acs/api/v1/auth/login");
  return credential;
}


std::string decoded(const std::string& text)
{
  Try<std::string> bytes = base64::decode_uri(text);
  return bytes.isSome() ? bytes.get() : "<" + bytes.error() + ">";
}


// The clock is paused on a whole second, so that expiry is exact.
class JWTTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    Clock::pause();
    const int64_t nanos = Clock::now().duration().ns() % 1000000000;
    if (nanos != 0) {
      Clock::advance(Nanoseconds(1000000000 - nanos));
    }
    now_ = static_cast<long>(Clock::now().secs());
    publicKey_ = openssl::publicKey(test_keys::PUBLIC_KEY).get();
  }

  void TearDown() override
  {
    Clock::resume();
    EXPECT_EQ(0u, ERR_peek_error());
  }

  std::string payload(const std::string& exp) const
  {
    return R"({"uid":"alice","exp":)" + exp + "}";
  }

  long now_ = 0;
  std::shared_ptr<RSA> publicKey_;
};

} // namespace {


TEST(Base64URLTest, EncodesWithoutPadding)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"f", "Zg"},
      {"ab", "YWI"},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg"},
      {"\xfb\xff", "-_8"},
      {std::string("\0\0\0", 3), "AAAA"},
  };

  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(text, base64::encode_uri(bytes)) << text;
    EXPECT_EQ(bytes, decoded(text)) << text;
  }

  std::string all;
  for (int i = 0; i < 256; ++i) {
    all += static_cast<char>(i);
  }
  EXPECT_EQ(all, decoded(base64::encode_uri(all)));
}


TEST(Base64URLTest, DecodesPaddedAndStandardAlphabet)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"YWI=", "ab"},
      {"Zg==", "f"},
      {"Zg=", "f"},
      {"+/8", "\xfb\xff"},
      {"-_8=", "\xfb\xff"},
      {"Z", ""},
      {"Zm9vZ", "foo"},
      {"Zg==!!", "f"},
      {"Zm9vYmFy", "foobar"},
  };

  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(bytes, decoded(text)) << text;
  }

  // The first character outside both alphabets is named, in a full group
  // of four or in the trailing one.
  for (const char* text : {"ab*c", "abc*", "Zm9v*b", "Zm9vYm*", "ab.c"}) {
    Try<std::string> bytes = base64::decode_uri(text);
    ASSERT_TRUE(bytes.isError()) << text;
    const char bad =
        std::string(text).find('*') != std::string::npos ? '*' : '.';
    EXPECT_EQ(std::string("Invalid character '") + bad + "'", bytes.error());
  }
  for (const char* text : {"a b", "ab\nc"}) {
    EXPECT_TRUE(base64::decode_uri(text).isError()) << text;
  }
}


TEST_F(JWTTest, MalformedTokensAreRejectedInOrder)
{
  const std::string future = stringify(now_ + 3600);
  const std::string good = payload(future);

  const struct
  {
    std::string token;
    std::string error;
  } cases[] = {
      {"", "Expected three components in token, got 1"},
      {"a.b", "Expected three components in token, got 2"},
      {token(HEADER, good) + ".", "Expected three components in token, got 4"},
      {"!.e30.c2ln",
       "Could not parse header: Could not base64-decode token header: "
       "Invalid character '!'"},
      {token("[]", good),
       "Could not parse header: Could not parse token JSON header: "
       "Unexpected JSON type parsed"},
      {token(R"({"alg":"RS256"})", good),
       "Could not parse header: Failed to locate 'typ' in token JSON header"},
      {token(R"({"alg":"RS256","typ":null})", good),
       "Could not parse header: Token typ field is not a string as expected"},
      {token(R"({"alg":"RS256","typ":1})", good),
       "Could not parse header: Token typ field is not a string as expected"},
      {token(R"({"alg":"RS256","typ":"jwt"})", good),
       "Could not parse header: Unknown token type: jwt"},
      {token(R"({"typ":"JWT"})", good),
       "Could not parse header: Failed to locate 'alg' in token JSON header"},
      {token(R"({"alg":["RS256"],"typ":"JWT"})", good),
       "Could not parse header: Token alg field is not a string as expected"},
      {token(R"({"alg":"none","typ":"JWT"})", good),
       "Could not parse header: Unknown token algorithm: none"},
      {token(R"({"alg":"rs256","typ":"JWT"})", good),
       "Could not parse header: Unknown token algorithm: rs256"},
      // The header is checked before the payload.
      {token(R"({"alg":"none","typ":"JWT"})", "[]"),
       "Could not parse header: Unknown token algorithm: none"},
      {base64::encode_uri(HEADER) + ".*.c2ln",
       "Could not tokenize payload: Could not base64-decode token payload: "
       "Invalid character '*'"},
      {token(HEADER, "[1]"),
       "Could not tokenize payload: Could not parse token JSON payload: "
       "Unexpected JSON type parsed"},
      {token(HEADER, R"({"uid":"alice","exp":"123"})"),
       "Could not parse payload: Token expiration time is not a number as "
       "expected"},
      {token(HEADER, R"({"uid":"alice","exp":true})"),
       "Could not parse payload: Token expiration time is not a number as "
       "expected"},
      // A null claim is present, not absent: a null "exp" never means "no
      // expiry".
      {token(HEADER, R"({"uid":"alice","exp":null})"),
       "Could not parse payload: Token expiration time is not a number as "
       "expected"},
      {token(HEADER, R"({"uid":null})"),
       "Could not parse payload: Field 'uid' of token payload is not a string "
       "as expected"},
      {token(HEADER, R"({"exp":)" + future + "}"),
       "Could not parse payload: Failed to locate 'uid' in token JSON payload"},
      {token(HEADER, R"({"uid":42})"),
       "Could not parse payload: Field 'uid' of token payload is not a string "
       "as expected"},
      // The expiry is checked before the signature's encoding.
      {token(HEADER, payload("1"), "*"),
       "Token for uid 'alice' has expired: exp(1) < now(" + stringify(now_) +
           ")"},
      {token(HEADER, good, "sig*"),
       "Could not base64-decode token signature: Invalid character '*'"},
  };

  for (const auto& c : cases) {
    Try<JWT> jwt = JWT::parse(c.token);
    ASSERT_TRUE(jwt.isError()) << c.token;
    EXPECT_EQ(c.error, jwt.error()) << c.token;
  }
}


TEST_F(JWTTest, ExpiryClaims)
{
  const std::string now = stringify(now_);
  const std::string expired = "Token for uid 'alice' has expired: exp(";

  const struct
  {
    std::string exp;
    Option<long> parsed;
    bool valid;
  } cases[] = {
      {now, now_, true},
      {stringify(now_ + 1), now_ + 1, true},
      {stringify(now_ - 1), now_ - 1, false},
      {"0", 0, true},
      {"0.5", 0, true},
      {stringify(now_) + ".9", now_, true},
      {"1.9", 1, false},
      {"-5", -5, false},
      {"9223372036854775807", 9223372036854775807L, true},
      // Beyond a long: clamped, so far future stays future, far past past.
      {"9223372036854775808", 9223372036854775807L, true},
      {"1e300", 9223372036854775807L, true},
      {"-1e300", -9223372036854775807L - 1, false},
  };

  for (const auto& c : cases) {
    const std::string text = token(HEADER, payload(c.exp));

    Try<JSON::Object> claims =
        JWT::Payload::parse(base64::encode_uri(payload(c.exp)));
    ASSERT_TRUE(claims.isSome()) << c.exp << ": " << claims.error();

    Try<JWT::Payload> parsed = JWT::Payload::create("p", claims.get());
    ASSERT_TRUE(parsed.isSome()) << c.exp << ": " << parsed.error();
    EXPECT_EQ(c.parsed, parsed->exp) << c.exp;

    Try<JWT> jwt = JWT::parse(text);
    EXPECT_EQ(c.valid, jwt.isSome()) << c.exp;
    if (!c.valid) {
      EXPECT_EQ(
          expired + stringify(c.parsed.get()) + ") < now(" + now + ")",
          jwt.error());
    }
  }

  // A token without "exp" never expires.
  Try<JWT> jwt = JWT::parse(token(HEADER, R"({"uid":"alice"})"));
  ASSERT_TRUE(jwt.isSome()) << jwt.error();
  EXPECT_TRUE(jwt->payload.exp.isNone());
}


// The same parsed payload expires once the clock passes its "exp".
TEST_F(JWTTest, ExpiryFollowsTheClock)
{
  Try<JWT> jwt = JWT::parse(token(HEADER, payload(stringify(now_ + 10))));
  ASSERT_TRUE(jwt.isSome()) << jwt.error();

  Clock::advance(Seconds(10));
  EXPECT_TRUE(jwt->payload.validateExpiration().isSome());

  // The clock's seconds are a double: a microsecond is the smallest step
  // it still tells apart at today's dates.
  Clock::advance(Microseconds(1));
  Try<Nothing> expiration = jwt->payload.validateExpiration();
  ASSERT_TRUE(expiration.isError());
  EXPECT_EQ(
      "Token for uid 'alice' has expired: exp(" + stringify(now_ + 10) +
          ") < now(" + stringify(now_ + 10) + ")",
      expiration.error());
}


TEST_F(JWTTest, ParsedTokenKeepsComponentsAsReceived)
{
  // A padded header component, extra fields and claims.
  const std::string header =
      base64::encode_uri(R"({"alg":"HS256","typ":"JWT","kid":"k1"})") + "==";
  const std::string claims =
      base64::encode_uri(R"({"uid":"alice","iss":"x","exp":0})");
  const std::string text = header + "." + claims + "." + "YWI";

  Try<JWT> jwt = JWT::parse(text);
  ASSERT_TRUE(jwt.isSome()) << jwt.error();

  EXPECT_EQ(JWT::Header::Typ::JWT, jwt->header.typ);
  EXPECT_EQ(JWT::Header::Alg::HS256, jwt->header.alg);
  EXPECT_EQ(header, jwt->header.encoded);
  EXPECT_EQ(claims, jwt->payload.encoded);
  EXPECT_EQ("alice", jwt->payload.uid);
  EXPECT_EQ(Option<long>(0), jwt->payload.exp);
  EXPECT_EQ("ab", jwt->signature);
}


TEST_F(JWTTest, GenerateRS256WritesCompactClaims)
{
  const Time exp = Time::epoch() + Milliseconds(1700000300250);

  Future<std::string> generated = JWT::generateRS256(credential(), exp);
  ASSERT_TRUE(generated.isReady());

  const std::vector<std::string> parts = strings::split(generated.get(), ".");
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ(R"({"alg":"RS256","typ":"JWT"})", decoded(parts[0]));
  EXPECT_EQ(R"({"exp":1700000300.25,"uid":"svc-agent"})", decoded(parts[1]));
  EXPECT_EQ(256u, decoded(parts[2]).size());

  // Without an expiry there is no "exp"; the scheme is written as given.
  generated = JWT::generateRS256(credential("HS256"), None());
  ASSERT_TRUE(generated.isReady());
  EXPECT_EQ(
      R"({"alg":"HS256","typ":"JWT"})",
      decoded(strings::split(generated.get(), ".")[0]));
  EXPECT_EQ(
      R"({"uid":"svc-agent"})",
      decoded(strings::split(generated.get(), ".")[1]));

  // Whole seconds keep a fraction digit, as stout writes doubles.
  generated =
      JWT::generateRS256(credential(), Time::epoch() + Seconds(1700000000));
  ASSERT_TRUE(generated.isReady());
  EXPECT_EQ(
      R"({"exp":1700000000.0,"uid":"svc-agent"})",
      decoded(strings::split(generated.get(), ".")[1]));
}


TEST_F(JWTTest, GeneratedTokenVerifies)
{
  Future<std::string> generated =
      JWT::generateRS256(credential(), Clock::now() + Minutes(5));
  ASSERT_TRUE(ready(generated));

  Future<bool> valid =
      mesos::sentrel::validateSignature(generated.get(), publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_TRUE(valid.get());

  std::shared_ptr<RSA> otherKey =
      openssl::publicKey(test_keys::OTHER_PUBLIC_KEY).get();
  valid = mesos::sentrel::validateSignature(generated.get(), otherKey);
  ASSERT_TRUE(valid.isReady());
  EXPECT_FALSE(valid.get());

  // Changing the claims after signing breaks the signature.
  std::vector<std::string> parts = strings::split(generated.get(), ".");
  parts[1] = base64::encode_uri(R"({"uid":"root"})");
  valid =
      mesos::sentrel::validateSignature(strings::join(".", parts), publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_FALSE(valid.get());
}


TEST_F(JWTTest, GenerateRS256WithBadKeyFails)
{
  for (const std::string& key :
       {std::string("not a key"),
        std::string(test_keys::PUBLIC_KEY),
        std::string(test_keys::EC_PRIVATE_KEY),
        std::string()}) {
    corvanta::Credential bad = credential();
    bad.set_private_key(key);

    Future<std::string> generated = JWT::generateRS256(bad, None());
    ASSERT_TRUE(generated.isFailed()) << key;
    EXPECT_EQ(0u, generated.failure().rfind("Could not convert key: ", 0))
        << generated.failure();
  }
}


// Every token is verified as RS256, whatever its header claims.
TEST_F(JWTTest, ValidateSignatureIgnoresTheClaimedAlgorithm)
{
  const std::string claims = payload(stringify(now_ + 60));

  const std::string rs256 = signedToken(
      R"({"alg":"HS256","typ":"JWT"})", claims, test_keys::PRIVATE_KEY);
  Future<bool> valid = mesos::sentrel::validateSignature(rs256, publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_TRUE(valid.get());

  // An HMAC-style signature over the same input is just a wrong signature.
  const std::string hs256 = token(
      R"({"alg":"HS256","typ":"JWT"})",
      claims,
      base64::encode_uri(std::string(32, 'k')));
  valid = mesos::sentrel::validateSignature(hs256, publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_FALSE(valid.get());
}


TEST_F(JWTTest, UnparsableTokenIsFalseAndLogged)
{
  LogCapture log;

  const std::string expired =
      signedToken(HEADER, payload(stringify(now_ - 1)), test_keys::PRIVATE_KEY);

  Future<bool> valid = mesos::sentrel::validateSignature(expired, publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_FALSE(valid.get());

  EXPECT_TRUE(log.contains(
      google::GLOG_INFO,
      "Failed to parse JWT from token: Token for uid 'alice' has expired: "
      "exp(" +
          stringify(now_ - 1) + ") < now(" + stringify(now_) + ")"));
}


TEST_F(JWTTest, VerificationErrorFailsTheFuture)
{
  const std::string text = signedToken(
      HEADER, payload(stringify(now_ + 60)), test_keys::PRIVATE_KEY);

  Future<bool> valid = mesos::sentrel::validateSignature(text, nullptr);
  ASSERT_TRUE(valid.isFailed());
  EXPECT_EQ(
      "Failed to validate token signature: EVP_PKEY_assign_RSA failed",
      valid.failure());
}


// Every prefix of a valid token, and tokens of binary or oversized
// content, are refused without a crash.
TEST_F(JWTTest, TruncatedBinaryAndOversizedTokensAreRefused)
{
  const std::string text = signedToken(
      HEADER, payload(stringify(now_ + 60)), test_keys::PRIVATE_KEY);
  ASSERT_FALSE(text.empty());

  for (size_t length = 0; length < text.size(); ++length) {
    Future<bool> valid =
        mesos::sentrel::validateSignature(text.substr(0, length), publicKey_);
    ASSERT_TRUE(valid.isReady()) << length;
    EXPECT_FALSE(valid.get()) << length;
  }

  std::string binary;
  for (int i = 0; i < 512; ++i) {
    binary += static_cast<char>((i * 37) & 0xff);
  }

  const std::vector<std::string> bad = {
      binary,
      std::string("a\0b.c\0d.e\0f", 11),
      token(HEADER, std::string(1 << 20, '{')),
      token(HEADER, std::string(100000, '[') + std::string(100000, ']')),
      std::string(1 << 20, '.'),
  };

  for (const std::string& token : bad) {
    EXPECT_TRUE(JWT::parse(token).isError()) << token.substr(0, 40);
    Future<bool> valid = mesos::sentrel::validateSignature(token, publicKey_);
    ASSERT_TRUE(valid.isReady()) << token.substr(0, 40);
    EXPECT_FALSE(valid.get());
  }

  // An oversized signature component parses but never verifies.
  Future<bool> valid = mesos::sentrel::validateSignature(
      text + std::string(1 << 20, 'A'), publicKey_);
  ASSERT_TRUE(valid.isReady());
  EXPECT_FALSE(valid.get());
}
