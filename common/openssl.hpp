#ifndef __COMMON_OPENSSL_HPP__
#define __COMMON_OPENSSL_HPP__

// RSA keys from key material, and RS256 signatures (RSASSA-PKCS1-v1_5 over
// SHA-256) made and checked with them. The functions are reentrant and keep
// no state; a key handle may be shared by any number of callers, because
// signing and verifying never change it: a handle made here carries
// ready-made copies of its key for them, made once with the handle. Every OpenSSL object made in a
// call is freed before it returns, and the calling thread's OpenSSL error
// queue is left empty.

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include <openssl/rsa.h>

#include <stout/try.hpp>

namespace openssl {

// The prefix, followed by ": " and OpenSSL's reason for the oldest error in
// the calling thread's queue; the prefix alone when there is no reason.
// Consumes that one queue entry only.
std::string addErrorReason(const std::string& prefix);

// A public key from the big-endian unsigned bytes of its modulus and
// exponent, taken as they are (leading zero bytes make no difference).
Try<std::shared_ptr<RSA>> publicKey(
    const std::string& modulus,
    const std::string& exponent);

// A public key from PEM text in SubjectPublicKeyInfo form.
Try<std::shared_ptr<RSA>> publicKey(const std::string& publicKey);

// A private key from unencrypted PEM text.
Try<std::shared_ptr<RSA>> privateKey(const std::string& privateKey);

// True if `signature` (raw bytes) is a valid RS256 signature of `message`
// under the public part of `rsa`, false if it is not; an error only when
// the verification itself cannot run.
Try<bool> validateSignature(
    const std::string& message,
    const std::string& signature,
    const std::shared_ptr<RSA>& rsa);

// The same for a message given in pieces, checked as their concatenation
// without making it.
Try<bool> validateSignature(
    std::initializer_list<std::string_view> message,
    const std::string& signature,
    const std::shared_ptr<RSA>& rsa);

// The raw RS256 signature of `message` with the private part of `rsa`.
Try<std::string> signature(
    const std::string& message,
    const std::shared_ptr<RSA>& rsa);

} // namespace openssl {

#endif // __COMMON_OPENSSL_HPP__
