// Tokens as a client or an agent sends them: base64url, the token's form,
// header and payload, expiry, and the RS256 check against a fixed key.
// What decodes as base64url must re-encode to the same bytes, and no token
// but the one signed with the key's private half may pass the check.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>

#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/base64url.hpp"
#include "common/sentrel/jwt.hpp"

#include "fuzz/fuzz_support.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using mesos::sentrel::JWT;

namespace {

std::shared_ptr<RSA> key;


} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  Try<std::shared_ptr<RSA>> loaded = openssl::publicKey(test_keys::PUBLIC_KEY);
  if (loaded.isError()) {
    fuzz::fail("the test key does not load: " + loaded.error());
  }
  key = loaded.get();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string input = fuzz::text(data, size);

  Try<std::string> decoded = base64::decode_uri(input);
  if (decoded.isSome()) {
    Try<std::string> again =
        base64::decode_uri(base64::encode_uri(decoded.get()));
    if (again.isError() || again.get() != decoded.get()) {
      fuzz::fail("base64url does not round-trip");
    }
  }

  Try<JWT> jwt = JWT::parse(input);
  const process::Future<bool> valid =
      fuzz::settle(mesos::sentrel::validateSignature(input, key));

  if (jwt.isError() && valid.isReady() && valid.get()) {
    fuzz::fail("a token that does not parse passed the signature check");
  }

  if (valid.isReady() && valid.get() &&
      input.substr(0, input.rfind('.')) != fuzz::SIGNED_TOKEN_PART) {
    fuzz::fail("a token not signed with the key passed the signature check");
  }

  if (jwt.isSome()) {
    const process::Future<bool> again =
        fuzz::settle(mesos::sentrel::validateSignature(jwt.get(), key));
    if (again.isReady() != valid.isReady() ||
        (again.isReady() && again.get() != valid.get())) {
      fuzz::fail("the parsed token and its text are judged differently");
    }
  }

  return 0;
}
