#include "tools/ovra_dev_iam/core/keys.hpp"

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <stout/error.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/base64url.hpp"

// Keys are OpenSSL RSA objects, as the modules use them; OpenSSL 3
// deprecates their functions but keeps them.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace dev_iam {

namespace {

struct BIOFree { void operator()(BIO* bio) const { BIO_free(bio); } };
struct BIGNUMFree { void operator()(BIGNUM* bn) const { BN_free(bn); } };
struct RSAFree { void operator()(RSA* rsa) const { RSA_free(rsa); } };


// `message` with OpenSSL's reason; the error queue is left empty.
Error failure(const std::string& message)
{
  Error error(openssl::addErrorReason(message));
  ERR_clear_error();
  return error;
}


// The PEM text that `write` puts into a memory BIO.
template <typename Write>
Try<std::string> pem(Write write, const std::string& what)
{
  std::unique_ptr<BIO, BIOFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || write(bio.get()) != 1) {
    return failure("Could not write " + what);
  }

  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}


Try<KeyPair> keyPair(RSA* rsa)
{
  Try<std::string> privateKey = pem(
      [rsa](BIO* bio) {
        return PEM_write_bio_RSAPrivateKey(
            bio, rsa, nullptr, nullptr, 0, nullptr, nullptr);
      },
      "private key");

  if (privateKey.isError()) {
    return Error(privateKey.error());
  }

  Try<std::string> publicKey = pem(
      [rsa](BIO* bio) { return PEM_write_bio_RSA_PUBKEY(bio, rsa); },
      "public key");

  if (publicKey.isError()) {
    return Error(publicKey.error());
  }

  return KeyPair{privateKey.get(), publicKey.get()};
}


std::string bytes(const BIGNUM* bn)
{
  std::string result(static_cast<size_t>(BN_num_bytes(bn)), '\0');
  BN_bn2bin(bn, reinterpret_cast<unsigned char*>(&result[0]));
  return result;
}

} // namespace {


Try<KeyPair> generateKeyPair(int bits)
{
  std::unique_ptr<BIGNUM, BIGNUMFree> exponent(BN_new());
  std::unique_ptr<RSA, RSAFree> rsa(RSA_new());

  if (!exponent || !rsa || BN_set_word(exponent.get(), RSA_F4) != 1 ||
      RSA_generate_key_ex(rsa.get(), bits, exponent.get(), nullptr) != 1) {
    return failure("Could not generate an RSA key");
  }

  return keyPair(rsa.get());
}


Try<KeyPair> keyPairOf(const std::string& privateKey)
{
  Try<std::shared_ptr<RSA>> rsa = openssl::privateKey(privateKey);
  if (rsa.isError()) {
    return Error(rsa.error());
  }

  return keyPair(rsa->get());
}


Try<JSON::Object> jwk(const std::shared_ptr<RSA>& key, const std::string& kid)
{
  const BIGNUM* n = nullptr;
  const BIGNUM* e = nullptr;
  if (key != nullptr) {
    RSA_get0_key(key.get(), &n, &e, nullptr);
  }

  if (n == nullptr || e == nullptr) {
    return Error("The key has no modulus or exponent");
  }

  JSON::Object object;
  object.values["kty"] = "RSA";
  object.values["alg"] = "RS256";
  object.values["use"] = "sig";
  object.values["kid"] = kid;
  object.values["n"] = base64::encode_uri(bytes(n));
  object.values["e"] = base64::encode_uri(bytes(e));
  return object;
}

} // namespace dev_iam {
