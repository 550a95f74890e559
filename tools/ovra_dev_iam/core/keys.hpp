#ifndef __TOOLS_OVRA_DEV_IAM_CORE_KEYS_HPP__
#define __TOOLS_OVRA_DEV_IAM_CORE_KEYS_HPP__

// RSA key pairs for the development IAM service and for service accounts:
// made fresh, derived from a private key, and published as a JSON Web Key.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <stout/json.hpp>
#include <stout/try.hpp>

namespace dev_iam {

// PEM texts: the private key in PKCS#1 form, the public key in
// SubjectPublicKeyInfo form.
struct KeyPair
{
  std::string privateKey;
  std::string publicKey;
};

// A new key pair of `bits` bits with the exponent 65537.
Try<KeyPair> generateKeyPair(int bits = 2048);

// The pair of an existing unencrypted PEM private key.
Try<KeyPair> keyPairOf(const std::string& privateKey);

// The key's public part as a JSON Web Key for RS256 signatures: "kty",
// "alg", "use", "kid" and the base64url "n" and "e".
Try<JSON::Object> jwk(const std::shared_ptr<RSA>& key, const std::string& kid);

} // namespace dev_iam {

#endif // __TOOLS_OVRA_DEV_IAM_CORE_KEYS_HPP__
