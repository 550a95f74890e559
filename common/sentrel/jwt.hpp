#ifndef __COMMON_SENTREL_JWT_HPP__
#define __COMMON_SENTREL_JWT_HPP__

// JSON Web Tokens as the IAM service issues and accepts them: three
// base64url components (a JSON header, a JSON payload, a signature over the
// first two) joined by dots. Parsing checks the form and the expiry against
// libprocess's clock; signatures are always checked as RS256. Pure
// functions of their inputs and the clock, safe on any thread.

#include <stddef.h>

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/time.hpp>

#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"

namespace mesos {
namespace sentrel {

// The largest token that is parsed. IAM tokens are a few hundred bytes;
// anything much larger is refused before it is decoded or logged.
constexpr size_t MAX_TOKEN_SIZE = 16 * 1024;


struct JWT
{
  struct Header
  {
    enum class Typ { JWT = 0 };
    enum class Alg { HS256 = 0, RS256 = 1 };

    // The header of the component as it stood in the token; "typ" must be
    // "JWT" and "alg" "RS256" or "HS256". Other fields are ignored.
    static Try<Header> parse(const std::string& component);

    Typ typ;
    Alg alg;

    // The component as received: the signature covers it, not a
    // re-encoding.
    std::string encoded;
  };

  struct Payload
  {
    // The decoded JSON object of a payload component.
    static Try<JSON::Object> parse(const std::string& component);

    // The claims read from `object`: "uid" (required string) and "exp"
    // (optional number of seconds, truncated; a value beyond the range of
    // a long is taken as the nearest end of it). Other claims are ignored.
    static Try<Payload> create(
        const std::string& component,
        const JSON::Object& object);

    // Fails when `exp` is set, non-zero and earlier than the clock's now.
    Try<Nothing> validateExpiration() const;

    std::string uid;
    Option<long> exp;
    std::string encoded;
  };

  // Parses `token` and checks its expiry, stopping at the first failure
  // (size, count of components, header, payload, expiry, signature
  // encoding).
  // The signature itself is not verified here.
  static Try<JWT> parse(const std::string& token);

  // Whether `error`, a failure of parse(), refused the token for its
  // expiry alone.
  static bool expired(const std::string& error);

  // A token for the credential's uid (and `exp`, when given) with the
  // credential's scheme as "alg", signed RS256 with its private key. The
  // future is always complete on return.
  static process::Future<std::string> generateRS256(
      const corvanta::Credential& credential,
      const Option<process::Time>& exp);

  // Plain values, so that a parsed token moves rather than copies; every
  // holder gets its own.
  Header header;
  Payload payload;

  // The raw signature bytes.
  std::string signature;
};


// True when `token` parses, has not expired and carries a valid RS256
// signature under `key`. An unparsable token is false (and logged at INFO);
// only an error inside the verification fails the future.
process::Future<bool> validateSignature(
    const std::string& token,
    const std::shared_ptr<RSA>& key);

// The same for a token parsed before: its expiry is checked again (time has
// passed since), then its signature, without parsing it a second time.
process::Future<bool> validateSignature(
    const JWT& jwt,
    const std::shared_ptr<RSA>& key);

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_JWT_HPP__
