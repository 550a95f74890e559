// A JWKS document as the IAM service (or anything answering in its place)
// returns it: the document's JSON, the first key's "n" and "e" in
// base64url, and the RSA key made of them.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <stout/try.hpp>

#include "common/sentrel/jwk.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Try<std::shared_ptr<RSA>> key =
      mesos::sentrel::JWK::extractPublicKey(fuzz::text(data, size));
  if (key.isSome() && key.get() == nullptr) {
    fuzz::fail("a key set gave a null key");
  }
  return 0;
}
