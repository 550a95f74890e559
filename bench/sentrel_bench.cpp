// The IAM client's hot paths beside their baselines, in one run:
//   - a presented token parsed and its RS256 signature checked (ours),
//     beside a raw OpenSSL verify of the same bytes with a ready key, and
//     beside the independent cpp-jwt implementation;
//   - an RS256 token generated, beside a raw OpenSSL sign.

#include <memory>
#include <string>
#include <system_error>

#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <jwt/jwt.hpp>
#pragma GCC diagnostic pop

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/strings.hpp>

#include "common/openssl.hpp"
#include "common/sentrel.pb.h"
#include "common/sentrel/base64url.hpp"
#include "common/sentrel/jwt.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "tests/support/test_keys.hpp"

using namespace ovra_test;

namespace {

corvanta::Credential credential()
{
  return dev_iam::rs256Credential(
      "svc-agent",
      test_keys::PRIVATE_KEY,
      "http://127.0.0.1:8101/acs/api/v1/auth/login");
}


const std::string& token()
{
  static const std::string token =
    mesos::sentrel::JWT::generateRS256(
        credential(), process::Clock::now() + Hours(24)).get();
  return token;
}


struct PKEYFree { void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); } };
struct CTXFree { void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); } };


std::unique_ptr<EVP_PKEY, PKEYFree> readKey(const std::string& pem, bool isPrivate)
{
  BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = isPrivate
    ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr)
    : PEM_read_bio_PUBKEY(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return std::unique_ptr<EVP_PKEY, PKEYFree>(key);
}

} // namespace {


static void BM_ParseAndVerifyToken(benchmark::State& state)
{
  const std::shared_ptr<RSA> key = openssl::publicKey(test_keys::PUBLIC_KEY).get();
  const std::string& text = token();

  for (auto _ : state) {
    process::Future<bool> valid = mesos::sentrel::validateSignature(text, key);
    if (!valid.isReady() || !valid.get()) {
      state.SkipWithError("token did not verify");
      break;
    }
  }
}
BENCHMARK(BM_ParseAndVerifyToken);


// Parsing alone: the form, the header, the claims and the expiry.
static void BM_ParseToken(benchmark::State& state)
{
  const std::string& text = token();
  for (auto _ : state) {
    benchmark::DoNotOptimize(mesos::sentrel::JWT::parse(text));
  }
}
BENCHMARK(BM_ParseToken);


// The signature step alone, through the project's key handle: what is
// left beside the bare verify below is the cost of reaching OpenSSL.
static void BM_SignatureStep(benchmark::State& state)
{
  const std::shared_ptr<RSA> key = openssl::publicKey(test_keys::PUBLIC_KEY).get();
  const std::string& text = token();
  const size_t dot = text.rfind('.');
  const std::string input = text.substr(0, dot);
  const std::string signature = base64::decode_uri(text.substr(dot + 1)).get();

  for (auto _ : state) {
    Try<bool> valid = openssl::validateSignature(input, signature, key);
    if (!valid.isSome() || !valid.get()) {
      state.SkipWithError("signature did not verify");
      break;
    }
  }
}
BENCHMARK(BM_SignatureStep);


// The same signing input and signature bytes, with a key object made
// once and no parsing: the floor for any RS256 verifier.
static void BM_RawOpenSSLVerify(benchmark::State& state)
{
  const std::string& text = token();
  const size_t dot = text.rfind('.');
  const std::string input = text.substr(0, dot);
  const std::string signature = base64::decode_uri(text.substr(dot + 1)).get();
  auto key = readKey(test_keys::PUBLIC_KEY, false);

  for (auto _ : state) {
    std::unique_ptr<EVP_MD_CTX, CTXFree> context(EVP_MD_CTX_new());
    const int result =
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
      EVP_DigestUpdate(context.get(), input.data(), input.size()) == 1 &&
      EVP_DigestVerifyFinal(
          context.get(),
          reinterpret_cast<const unsigned char*>(signature.data()),
          signature.size()) == 1;
    if (!result) {
      state.SkipWithError("signature did not verify");
      break;
    }
  }
}
BENCHMARK(BM_RawOpenSSLVerify);


// cpp-jwt takes the key as PEM on every decode, as its interface has it.
static void BM_CppJwtDecodeAndVerify(benchmark::State& state)
{
  using namespace jwt::params;

  const std::string& text = token();
  const std::string publicKey = test_keys::PUBLIC_KEY;

  for (auto _ : state) {
    std::error_code error;
    jwt::jwt_object object = jwt::decode(
        text, algorithms({"RS256"}), error, secret(publicKey), verify(true));
    if (error) {
      state.SkipWithError(error.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(object);
  }
}
BENCHMARK(BM_CppJwtDecodeAndVerify);


// Includes reading the PEM private key, as every login does.
static void BM_GenerateRS256(benchmark::State& state)
{
  const corvanta::Credential account = credential();
  const process::Time exp = process::Clock::now() + Minutes(5);

  for (auto _ : state) {
    process::Future<std::string> generated =
      mesos::sentrel::JWT::generateRS256(account, exp);
    if (!generated.isReady()) {
      state.SkipWithError("token not generated");
      break;
    }
    benchmark::DoNotOptimize(generated);
  }
}
BENCHMARK(BM_GenerateRS256);


// A raw RS256 signature with a key object made once.
static void BM_RawOpenSSLSign(benchmark::State& state)
{
  const std::string& text = token();
  const std::string input = text.substr(0, text.rfind('.'));
  auto key = readKey(test_keys::PRIVATE_KEY, true);
  unsigned char buffer[512];

  for (auto _ : state) {
    std::unique_ptr<EVP_MD_CTX, CTXFree> context(EVP_MD_CTX_new());
    size_t length = sizeof(buffer);
    if (EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestUpdate(context.get(), input.data(), input.size()) != 1 ||
        EVP_DigestSignFinal(context.get(), buffer, &length) != 1) {
      state.SkipWithError("signing failed");
      break;
    }
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(BM_RawOpenSSLSign);


BENCHMARK_MAIN();
