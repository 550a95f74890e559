#include "common/openssl.hpp"

#include <climits>
#include <memory>
#include <string>
#include <string_view>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

// The key handles are OpenSSL's RSA objects, whose functions OpenSSL 3
// deprecates; they are still there and behave as in 1.x.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace openssl {

namespace {

// Loads OpenSSL's digest tables and error texts once, when the library is
// loaded, so that digests are found by name and errors have reasons.
class OpenSSLEnvironment
{
public:
  OpenSSLEnvironment()
  {
    OPENSSL_add_all_algorithms_noconf();
    ERR_load_crypto_strings();
  }

  ~OpenSSLEnvironment()
  {
    ERR_free_strings();
  }
};

const OpenSSLEnvironment opensslEnvironment;


// Scoped owners: every OpenSSL object made in a call is freed on every path.
struct BIOFree { void operator()(BIO* bio) const { BIO_free(bio); } };
struct BIGNUMFree { void operator()(BIGNUM* bn) const { BN_free(bn); } };
struct RSAFree { void operator()(RSA* rsa) const { RSA_free(rsa); } };

struct EVPMDCTXFree
{
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_destroy(context); }
};

struct OPENSSLFree
{
  void operator()(unsigned char* buffer) const { OPENSSL_free(buffer); }
};

using BIO_ptr = std::unique_ptr<BIO, BIOFree>;
using EVP_MD_CTX_ptr = std::unique_ptr<EVP_MD_CTX, EVPMDCTXFree>;
using BIGNUM_ptr = std::unique_ptr<BIGNUM, BIGNUMFree>;
using OPENSSL_malloced_ptr = std::unique_ptr<unsigned char, OPENSSLFree>;
using RSA_ptr = std::shared_ptr<RSA>;


// Empties the thread's error queue when a call returns, after its error
// message has taken the reason it needs: errors must not reach whichever
// OpenSSL caller comes next on this thread.
class ErrorQueueGuard
{
public:
  ErrorQueueGuard() = default;
  ErrorQueueGuard(const ErrorQueueGuard&) = delete;
  ErrorQueueGuard& operator=(const ErrorQueueGuard&) = delete;

  ~ErrorQueueGuard() { ERR_clear_error(); }
};


const unsigned char* bytes(const std::string& s)
{
  return reinterpret_cast<const unsigned char*>(s.data());
}


// SHA-256, fetched from OpenSSL's provider once: fetching it by name for
// every signature or check costs more than hashing a token.
const EVP_MD* sha256()
{
  static const EVP_MD* const digest = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return digest;
}


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


RSA_ptr share(RSA* rsa)
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

  return RSA_ptr(rsa, objects);
}


// OpenSSL never asks for a pass phrase: an encrypted key fails to load
// instead of blocking on the terminal.
int noPassphrase(char* /*buffer*/, int /*size*/, int /*rwflag*/, void* /*u*/)
{
  return 0;
}


Try<RSA_ptr> readKey(
    const std::string& pem,
    RSA* (*read)(BIO*, RSA**, pem_password_cb*, void*),
    const std::string& failure)
{
  ErrorQueueGuard guard;

  if (pem.size() > static_cast<size_t>(INT_MAX)) {
    return Error(addErrorReason("BIO_new_mem_buf failed"));
  }

  BIO_ptr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) {
    return Error(addErrorReason("BIO_new_mem_buf failed"));
  }

  RSA* rsa = read(bio.get(), nullptr, noPassphrase, nullptr);
  if (rsa == nullptr) {
    return Error(addErrorReason(failure));
  }

  return share(rsa);
}


enum class Part { PUBLIC, PRIVATE };

// Steps shared by signing and verifying: the key object of one part of
// `rsa`, a digest context and SHA-256.
Option<Error> prepare(
    const RSA_ptr& rsa,
    Part part,
    std::shared_ptr<EVP_PKEY>* pkey,
    EVP_MD_CTX_ptr* context,
    const EVP_MD** digest)
{
  context->reset(EVP_MD_CTX_create());
  if (!*context) {
    return Error(addErrorReason("EVP_MD_CTX_create failed"));
  }

  *digest = sha256();
  if (*digest == nullptr) {
    return Error(addErrorReason("EVP_MD_fetch failed"));
  }

  const KeyObjects* objects = std::get_deleter<KeyObjects>(rsa);
  if (objects != nullptr) {
    *pkey = part == Part::PUBLIC ? objects->publicPart : objects->privatePart;
    if (*pkey) {
      return None();
    }
  }

  // A handle made elsewhere, or one whose key object could not be made:
  // this call makes its own.
  pkey->reset(EVP_PKEY_new(), EVP_PKEY_free);
  if (!*pkey) {
    return Error(addErrorReason("EVP_PKEY_new failed"));
  }

  RSA* copy = nullptr;
  if (rsa != nullptr) {
    copy = part == Part::PUBLIC
      ? RSAPublicKey_dup(rsa.get())
      : RSAPrivateKey_dup(rsa.get());
  }

  if (copy == nullptr || EVP_PKEY_assign_RSA(pkey->get(), copy) != 1) {
    RSA_free(copy);
    return Error(addErrorReason("EVP_PKEY_assign_RSA failed"));
  }

  return None();
}

} // namespace {


std::string addErrorReason(const std::string& prefix)
{
  const unsigned long code = ERR_get_error();
  const char* reason = ERR_reason_error_string(code);
  if (reason == nullptr) {
    return prefix;
  }

  return prefix + ": " + reason;
}


Try<std::shared_ptr<RSA>> publicKey(
    const std::string& modulus,
    const std::string& exponent)
{
  ErrorQueueGuard guard;

  BIGNUM_ptr n;
  if (modulus.size() <= static_cast<size_t>(INT_MAX)) {
    n.reset(BN_bin2bn(
        bytes(modulus), static_cast<int>(modulus.size()), nullptr));
  }
  if (!n) {
    return Error("Could not extract modulus bignum");
  }

  BIGNUM_ptr e;
  if (exponent.size() <= static_cast<size_t>(INT_MAX)) {
    e.reset(BN_bin2bn(
        bytes(exponent), static_cast<int>(exponent.size()), nullptr));
  }
  if (!e) {
    return Error("Could not extract exponent bignum");
  }

  std::unique_ptr<RSA, RSAFree> rsa(RSA_new());
  if (!rsa || RSA_set0_key(rsa.get(), n.get(), e.get(), nullptr) != 1) {
    return Error("RSA_new() failed when calculating public key");
  }

  // The key owns both numbers now.
  n.release();
  e.release();

  return share(rsa.release());
}


Try<std::shared_ptr<RSA>> publicKey(const std::string& publicKey)
{
  return readKey(
      publicKey, PEM_read_bio_RSA_PUBKEY, "Could not parse public key");
}


Try<std::shared_ptr<RSA>> privateKey(const std::string& privateKey)
{
  return readKey(
      privateKey, PEM_read_bio_RSAPrivateKey, "Could not parse private key");
}


Try<bool> validateSignature(
    const std::string& message,
    const std::string& signature,
    const std::shared_ptr<RSA>& rsa)
{
  return validateSignature({std::string_view(message)}, signature, rsa);
}


Try<bool> validateSignature(
    std::initializer_list<std::string_view> message,
    const std::string& signature,
    const std::shared_ptr<RSA>& rsa)
{
  ErrorQueueGuard guard;

  std::shared_ptr<EVP_PKEY> pkey;
  EVP_MD_CTX_ptr context;
  const EVP_MD* digest = nullptr;

  Option<Error> error = prepare(rsa, Part::PUBLIC, &pkey, &context, &digest);
  if (error.isSome()) {
    return error.get();
  }

  if (EVP_DigestVerifyInit(
          context.get(), nullptr, digest, nullptr, pkey.get()) != 1) {
    return Error(addErrorReason("EVP_DigestVerifyInit failed"));
  }

  for (const std::string_view& piece : message) {
    if (EVP_DigestUpdate(context.get(), piece.data(), piece.size()) != 1) {
      return Error(addErrorReason("EVP_DigestVerifyUpdate failed"));
    }
  }

  // Whatever reason follows comes from the verification itself.
  ERR_clear_error();

  const int result = EVP_DigestVerifyFinal(
      context.get(), bytes(signature), signature.size());

  if (result < 0) {
    return Error(addErrorReason("EVP_DigestVerifyFinal failed"));
  }

  return result > 0;
}


Try<std::string> signature(
    const std::string& message,
    const std::shared_ptr<RSA>& rsa)
{
  ErrorQueueGuard guard;

  std::shared_ptr<EVP_PKEY> pkey;
  EVP_MD_CTX_ptr context;
  const EVP_MD* digest = nullptr;

  Option<Error> error = prepare(rsa, Part::PRIVATE, &pkey, &context, &digest);
  if (error.isSome()) {
    return error.get();
  }

  if (EVP_DigestSignInit(
          context.get(), nullptr, digest, nullptr, pkey.get()) != 1) {
    return Error(addErrorReason("EVP_DigestSignInit failed"));
  }

  if (EVP_DigestUpdate(context.get(), message.data(), message.size()) != 1) {
    return Error(addErrorReason("EVP_DigestSignUpdate failed"));
  }

  size_t req = 0;
  if (EVP_DigestSignFinal(context.get(), nullptr, &req) != 1) {
    return Error(addErrorReason("EVP_DigestSignFinal failed"));
  }

  if (req == 0) {
    return Error("EVP_DigestSignFinal failed (2)");
  }

  OPENSSL_malloced_ptr buffer(static_cast<unsigned char*>(OPENSSL_malloc(req)));
  if (!buffer) {
    return Error(addErrorReason("OPENSSL_malloc failed"));
  }

  size_t slen = req;
  if (EVP_DigestSignFinal(context.get(), buffer.get(), &slen) != 1) {
    return Error("EVP_DigestSignFinal failed (3)");
  }

  if (slen != req) {
    return Error(
        "EVP_DigestSignFinal failed, mismatched signature sizes " +
        stringify(req) + ", " + stringify(slen));
  }

  return std::string(reinterpret_cast<const char*>(buffer.get()), req);
}

} // namespace openssl {
