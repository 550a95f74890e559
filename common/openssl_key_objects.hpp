#ifndef __COMMON_OPENSSL_KEY_OBJECTS_HPP__
#define __COMMON_OPENSSL_KEY_OBJECTS_HPP__

// RSA key handles that carry the key objects which checks and signatures
// use, made once with the handle, so that no call converts or copies the
// key.

#include <memory>

#include <openssl/evp.h>
#include <openssl/rsa.h>

namespace openssl {
namespace internal {

// A handle owning `rsa`, carrying a key object for each part the key has;
// a key object that OpenSSL cannot make is left out, and the call that
// needs it makes its own.
std::shared_ptr<RSA> share(RSA* rsa);


// The key object of one part of the key that `rsa` carries, or null if it
// carries none (a handle made elsewhere, or a part that could not be made).
std::shared_ptr<EVP_PKEY> carriedKeyObject(
    const std::shared_ptr<RSA>& rsa, bool privatePart);

} // namespace internal {
} // namespace openssl {

#endif // __COMMON_OPENSSL_KEY_OBJECTS_HPP__
