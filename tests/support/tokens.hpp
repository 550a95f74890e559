#ifndef __TESTS_SUPPORT_TOKENS_HPP__
#define __TESTS_SUPPORT_TOKENS_HPP__

// Hand-made JSON Web Tokens for tests: any header and payload text, signed
// RS256 with a test key or carrying a given signature component.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <stout/try.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/base64url.hpp"

namespace ovra_test {
namespace test_tokens {

// header.payload.signature with the two JSON texts base64url-encoded and
// `signature` as given.
inline std::string token(
    const std::string& header,
    const std::string& payload,
    const std::string& signature = "c2ln")
{
  return base64::encode_uri(header) + "." + base64::encode_uri(payload) + "." +
      signature;
}


// The same, signed RS256 with the PEM private key `privateKey`; empty if
// the key cannot sign.
inline std::string signedToken(
    const std::string& header,
    const std::string& payload,
    const std::string& privateKey)
{
  const std::string input =
      base64::encode_uri(header) + "." + base64::encode_uri(payload);

  Try<std::shared_ptr<RSA>> key = openssl::privateKey(privateKey);
  if (key.isError()) {
    return "";
  }

  Try<std::string> signature = openssl::signature(input, key.get());
  if (signature.isError()) {
    return "";
  }

  return input + "." + base64::encode_uri(signature.get());
}

} // namespace test_tokens {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_TOKENS_HPP__
