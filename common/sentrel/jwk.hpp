#ifndef __COMMON_SENTREL_JWK_HPP__
#define __COMMON_SENTREL_JWK_HPP__

// The IAM service's RSA public key, published as a JSON Web Key Set. Free
// functions without state; the callers decide where the set lives and how
// long a key is kept.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/try.hpp>

namespace mesos {
namespace sentrel {
namespace JWK {

// The public key of the first key of a JWKS document, from its base64url
// "n" and "e"; other fields of the key are not examined.
Try<std::shared_ptr<RSA>> extractPublicKey(const std::string& jwk);

// GETs the JWKS document at `url` and extracts its key. Fails with a
// "Failed to obtain sentrel public key: " message on a status other than
// 200, a bad document, or no answer within `timeout` of the call.
process::Future<std::shared_ptr<RSA>> querySentrelPublicKey(
    const process::http::URL& url,
    const Duration& timeout);

// The URL of the key set of the IAM service at `iam`: a copy of it whose
// path is "acs/api/v1/auth/jwks" (the request target
// /acs/api/v1/auth/jwks on the service's host and port).
process::http::URL jwksURL(const process::http::URL& iam);

} // namespace JWK {
} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_JWK_HPP__
