#include "common/openssl_key_objects.hpp"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/param_build.h>

// The key handles are OpenSSL's RSA objects, whose functions OpenSSL 3
// deprecates; they are still there and behave as in 1.x.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace openssl {
namespace internal {

namespace {

// The key objects that checks and signatures use, made once with the
// handle, so that no call converts or copies the key. Each holds its own
// copy of one part of the RSA key and is never changed after it is made;
// OpenSSL lets any number of threads use such a key object at once. The
// handle's deleter carries them, so they live exactly as long as the
// handle.
struct KeyObjects
{
  std::shared_ptr<EVP_PKEY> publicPart;
  std::shared_ptr<EVP_PKEY> privatePart;    // null for a public key

  void operator()(RSA* rsa) const { RSA_free(rsa); }
};



// A key object of OpenSSL's own provider holding one part of `rsa` (the
// numbers are copied), so that no call has to convert the legacy RSA object
// again; null if OpenSSL cannot make one (a call then makes its own and
// reports why).
std::shared_ptr<EVP_PKEY> keyObject(const RSA* rsa, bool privatePart)
{
  const BIGNUM* n = nullptr;
  const BIGNUM* e = nullptr;
  const BIGNUM* d = nullptr;
  const BIGNUM* p = nullptr;
  const BIGNUM* q = nullptr;
  const BIGNUM* dmp1 = nullptr;
  const BIGNUM* dmq1 = nullptr;
  const BIGNUM* iqmp = nullptr;
  RSA_get0_key(rsa, &n, &e, &d);
  RSA_get0_factors(rsa, &p, &q);
  RSA_get0_crt_params(rsa, &dmp1, &dmq1, &iqmp);
  if (n == nullptr || e == nullptr || (privatePart && d == nullptr)) {
    return nullptr;
  }

  std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> builder(
      OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
  if (!builder ||
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n) != 1 ||
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e) != 1) {
    return nullptr;
  }

  if (privatePart) {
    if (OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_D, d) != 1) {
      return nullptr;
    }

    // The CRT numbers, when the key has them, make signing four times
    // faster.
    if (p != nullptr && q != nullptr && dmp1 != nullptr && dmq1 != nullptr &&
        iqmp != nullptr &&
        (OSSL_PARAM_BLD_push_BN(
             builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, p) != 1 ||
         OSSL_PARAM_BLD_push_BN(
             builder.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, q) != 1 ||
         OSSL_PARAM_BLD_push_BN(
             builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, dmp1) != 1 ||
         OSSL_PARAM_BLD_push_BN(
             builder.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, dmq1) != 1 ||
         OSSL_PARAM_BLD_push_BN(
             builder.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, iqmp) != 1)) {
      return nullptr;
    }
  }

  std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> parameters(
      OSSL_PARAM_BLD_to_param(builder.get()), OSSL_PARAM_free);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr), EVP_PKEY_CTX_free);
  if (!parameters || !context || EVP_PKEY_fromdata_init(context.get()) != 1) {
    return nullptr;
  }

  EVP_PKEY* pkey = nullptr;
  if (EVP_PKEY_fromdata(
          context.get(),
          &pkey,
          privatePart ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
          parameters.get()) != 1) {
    return nullptr;
  }
  return std::shared_ptr<EVP_PKEY>(pkey, EVP_PKEY_free);
}


} // namespace {


std::shared_ptr<RSA> share(RSA* rsa)
{
  KeyObjects objects;
  objects.publicPart = keyObject(rsa, false);

  const BIGNUM* d = nullptr;
  RSA_get0_key(rsa, nullptr, nullptr, &d);
  if (d != nullptr) {
    objects.privatePart = keyObject(rsa, true);
  }

  // Whatever failed above is made again, and reported, by the call that
  // needs it.
  ERR_clear_error();

  return std::shared_ptr<RSA>(rsa, objects);
}



std::shared_ptr<EVP_PKEY> carriedKeyObject(
    const std::shared_ptr<RSA>& rsa, bool privatePart)
{
  const KeyObjects* objects = std::get_deleter<KeyObjects>(rsa);
  if (objects == nullptr) {
    return nullptr;
  }
  return privatePart ? objects->privatePart : objects->publicPart;
}

} // namespace internal {
} // namespace openssl {
