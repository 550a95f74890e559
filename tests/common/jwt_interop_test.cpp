// Our RS256 tokens against an independent JWT implementation (cpp-jwt,
// Debian's libcpp-jwt-dev): each side verifies what the other signs.

#include <chrono>
#include <memory>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <jwt/jwt.hpp>
#pragma GCC diagnostic pop

#include <process/clock.hpp>
#include <process/future.hpp>

#include <stout/duration.hpp>

#include "common/openssl.hpp"
#include "common/sentrel.pb.h"
#include "common/sentrel/jwt.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/futures.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using mesos::sentrel::JWT;

using process::Clock;
using process::Future;

namespace {

// How far libprocess's clock is ahead of the wall clock: tests earlier in
// this process may have advanced it, and cpp-jwt reads the wall clock.
Duration clockSkew()
{
  const double wall = std::chrono::duration<double>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  return Seconds(static_cast<int64_t>(Clock::now().secs() - wall));
}


// A token of ours that expires `lifetime` after now on the wall clock.
std::string ours(const Duration& lifetime)
{
  Future<std::string> token = JWT::generateRS256(
      dev_iam::rs256Credential(
          "svc-agent", test_keys::PRIVATE_KEY, "http://127.0.0.1:1/login"),
      Clock::now() - clockSkew() + lifetime);
  EXPECT_TRUE(token.isReady());
  return token.isReady() ? token.get() : "";
}


// A cpp-jwt token that expires `lifetime` after now on libprocess's clock.
std::string theirs(const std::string& privateKey, std::chrono::seconds lifetime)
{
  lifetime += std::chrono::seconds(static_cast<int64_t>(clockSkew().secs()));

  using namespace jwt::params;

  jwt::jwt_object object{
      algorithm("RS256"), secret(privateKey), payload({{"uid", "alice"}})};
  object.add_claim("exp", std::chrono::system_clock::now() + lifetime);

  std::error_code error;
  const std::string token = object.signature(error);
  EXPECT_FALSE(error) << error.message();
  return token;
}


// True if cpp-jwt accepts `token` as RS256 under `publicKey`, with the uid
// "svc-agent".
bool acceptedByTheirs(const std::string& token, const std::string& publicKey)
{
  using namespace jwt::params;

  std::error_code error;
  jwt::jwt_object object = jwt::decode(
      token, algorithms({"RS256"}), error, secret(publicKey), verify(true));

  return !error && object.payload().has_claim_with_value("uid", "svc-agent");
}

} // namespace {


TEST(JWTInteropTest, OurTokenVerifiesWithCppJwt)
{
  const std::string token = ours(Minutes(5));
  EXPECT_TRUE(acceptedByTheirs(token, test_keys::PUBLIC_KEY));
  EXPECT_FALSE(acceptedByTheirs(token, test_keys::OTHER_PUBLIC_KEY));

  // cpp-jwt checks "exp" against the wall clock as well.
  EXPECT_FALSE(acceptedByTheirs(ours(Seconds(-60)), test_keys::PUBLIC_KEY));
}


TEST(JWTInteropTest, CppJwtTokenVerifiesWithOurs)
{
  const std::string token =
      theirs(test_keys::PRIVATE_KEY, std::chrono::seconds(300));
  ASSERT_FALSE(token.empty());

  Try<JWT> jwt = JWT::parse(token);
  ASSERT_TRUE(jwt.isSome()) << jwt.error();
  EXPECT_EQ("alice", jwt->payload.uid);
  EXPECT_EQ(JWT::Header::Alg::RS256, jwt->header.alg);
  ASSERT_TRUE(jwt->payload.exp.isSome());

  const std::shared_ptr<RSA> key =
      openssl::publicKey(test_keys::PUBLIC_KEY).get();
  const std::shared_ptr<RSA> otherKey =
      openssl::publicKey(test_keys::OTHER_PUBLIC_KEY).get();

  Future<bool> valid = mesos::sentrel::validateSignature(token, key);
  ASSERT_TRUE(ready(valid));
  EXPECT_TRUE(valid.get());

  valid = mesos::sentrel::validateSignature(token, otherKey);
  ASSERT_TRUE(ready(valid));
  EXPECT_FALSE(valid.get());

  const std::string foreign =
      theirs(test_keys::OTHER_PRIVATE_KEY, std::chrono::seconds(300));
  valid = mesos::sentrel::validateSignature(foreign, key);
  ASSERT_TRUE(ready(valid));
  EXPECT_FALSE(valid.get());
}
