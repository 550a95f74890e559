#include "common/openssl.hpp"

#include <climits>
#include <memory>
#include <string>
#include <string_view>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

#include "common/openssl_key_objects.hpp"

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

  return internal::share(rsa);
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

  *pkey = internal::carriedKeyObject(rsa, part == Part::PRIVATE);
  if (*pkey) {
    return None();
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

  return internal::share(rsa.release());
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
