#include "common/sentrel/jwt.hpp"

#include <stdint.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include <glog/logging.h>

#include <process/clock.hpp>

#include <stout/error.hpp>
#include <stout/result.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/base64url.hpp"
#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/json_field.hpp"

using process::Failure;
using process::Future;

namespace mesos {
namespace sentrel {

namespace {

// Made once: every token check names them, and they are too long for a
// string to hold without allocating.
const std::string HEADER_CONTEXT = "token JSON header";

// How the failure of an expired token begins: "Token for uid '<uid>' has
// expired: ...". No other failure of parse() begins so.
constexpr char EXPIRED[] = "Token for uid '";
const std::string PAYLOAD_CONTEXT = "token JSON payload";


// Whole seconds of an "exp" claim, truncated toward zero. Beyond the range
// of a long it is the nearest end of that range (a plain conversion would
// be undefined), so a far-future expiry stays in the future and a far-past
// one stays expired.
long expirySeconds(const JSON::Number& number)
{
  constexpr long LOWEST = std::numeric_limits<long>::min();
  constexpr long HIGHEST = std::numeric_limits<long>::max();

  switch (number.type) {
    case JSON::Number::SIGNED_INTEGER:
      return static_cast<long>(number.as<int64_t>());
    case JSON::Number::UNSIGNED_INTEGER: {
      const uint64_t value = number.as<uint64_t>();
      return value > static_cast<uint64_t>(HIGHEST)
        ? HIGHEST
        : static_cast<long>(value);
    }
    case JSON::Number::FLOATING:
      break;
  }

  const double value = number.as<double>();
  if (std::isnan(value) || value <= static_cast<double>(LOWEST)) {
    return LOWEST;
  }
  // The long's maximum rounds up to 2^63 as a double, itself out of range.
  if (value >= static_cast<double>(HIGHEST)) {
    return HIGHEST;
  }
  return static_cast<long>(value);
}


// The decoded JSON object of a token component.
Try<JSON::Object> decodeComponent(
    const std::string& component,
    const char* decodeFailure,
    const char* parseFailure)
{
  Try<std::string> decoded = base64::decode_uri(component);
  if (decoded.isError()) {
    return Error(std::string(decodeFailure) + decoded.error());
  }

  Try<JSON::Object> object = parseJson<JSON::Object>(decoded.get());
  if (object.isError()) {
    return Error(std::string(parseFailure) + object.error());
  }

  return object;
}


// The "typ" or "alg" string of a header.
Try<std::string> headerString(
    const JSON::Object& header,
    const std::string& name,
    const char* notAString)
{
  Result<const JSON::Value*> value =
    extractField<JSON::Value>(header, name, HEADER_CONTEXT);

  if (value.isError()) {
    return Error(value.error());
  }

  if (value.isNone()) {
    return Error("Failed to locate '" + name + "' in " + HEADER_CONTEXT);
  }

  if (!value.get()->is<JSON::String>()) {
    return Error(notAString);
  }

  return value.get()->as<JSON::String>().value;
}

} // namespace {


Try<JWT::Header> JWT::Header::parse(const std::string& component)
{
  Try<JSON::Object> header = decodeComponent(
      component,
      "Could not base64-decode token header: ",
      "Could not parse token JSON header: ");

  if (header.isError()) {
    return Error(header.error());
  }

  Try<std::string> typ = headerString(
      header.get(), "typ", "Token typ field is not a string as expected");

  if (typ.isError()) {
    return Error(typ.error());
  }

  if (typ.get() != "JWT") {
    return Error("Unknown token type: " + typ.get());
  }

  Try<std::string> alg = headerString(
      header.get(), "alg", "Token alg field is not a string as expected");

  if (alg.isError()) {
    return Error(alg.error());
  }

  Alg algorithm;
  if (alg.get() == "RS256") {
    algorithm = Alg::RS256;
  } else if (alg.get() == "HS256") {
    algorithm = Alg::HS256;
  } else {
    return Error("Unknown token algorithm: " + alg.get());
  }

  return Header{Typ::JWT, algorithm, component};
}


Try<JSON::Object> JWT::Payload::parse(const std::string& component)
{
  return decodeComponent(
      component,
      "Could not base64-decode token payload: ",
      "Could not parse token JSON payload: ");
}


Try<JWT::Payload> JWT::Payload::create(
    const std::string& component,
    const JSON::Object& object)
{
  Result<const JSON::Value*> exp =
    extractField<JSON::Value>(object, "exp", PAYLOAD_CONTEXT);

  if (exp.isError()) {
    return Error(exp.error());
  }

  Option<long> expiry;
  if (exp.isSome()) {
    if (!exp.get()->is<JSON::Number>()) {
      return Error("Token expiration time is not a number as expected");
    }
    expiry = expirySeconds(exp.get()->as<JSON::Number>());
  }

  Result<const JSON::Value*> uid =
    extractField<JSON::Value>(object, "uid", PAYLOAD_CONTEXT);

  if (uid.isError()) {
    return Error(uid.error());
  }

  if (uid.isNone()) {
    return Error("Failed to locate 'uid' in token JSON payload");
  }

  if (!uid.get()->is<JSON::String>()) {
    return Error("Field 'uid' of token payload is not a string as expected");
  }

  return Payload{uid.get()->as<JSON::String>().value, expiry, component};
}


bool JWT::expired(const std::string& error)
{
  return strings::startsWith(error, EXPIRED);
}


Try<Nothing> JWT::Payload::validateExpiration() const
{
  // A zero expiry means none.
  if (exp.isNone() || exp.get() == 0) {
    return Nothing();
  }

  const double now = process::Clock::now().secs();
  if (now > static_cast<double>(exp.get())) {
    return Error(
        EXPIRED + uid + "' has expired: exp(" + stringify(exp.get()) +
        ") < now(" + stringify(static_cast<long>(now)) + ")");
  }

  return Nothing();
}


Try<JWT> JWT::parse(const std::string& token)
{
  if (token.size() > MAX_TOKEN_SIZE) {
    return Error(
        "Token of " + stringify(token.size()) + " bytes exceeds the limit " +
        "of " + stringify(MAX_TOKEN_SIZE) + " bytes");
  }

  // Exactly two dots; the components are cut out directly rather than
  // through a split, which grows a vector for every token.
  const size_t first = token.find('.');
  const size_t second =
    first == std::string::npos ? first : token.find('.', first + 1);
  if (second == std::string::npos ||
      token.find('.', second + 1) != std::string::npos) {
    return Error(
        "Expected three components in token, got " +
        stringify(std::count(token.begin(), token.end(), '.') + 1));
  }

  const std::string components[] = {
    token.substr(0, first),
    token.substr(first + 1, second - first - 1),
    token.substr(second + 1)};

  Try<Header> header = Header::parse(components[0]);
  if (header.isError()) {
    return Error("Could not parse header: " + header.error());
  }

  Try<JSON::Object> claims = Payload::parse(components[1]);
  if (claims.isError()) {
    return Error("Could not tokenize payload: " + claims.error());
  }

  Try<Payload> payload = Payload::create(components[1], claims.get());
  if (payload.isError()) {
    return Error("Could not parse payload: " + payload.error());
  }

  Try<Nothing> expiration = payload->validateExpiration();
  if (expiration.isError()) {
    return Error(expiration.error());
  }

  Try<std::string> signature = base64::decode_uri(components[2]);
  if (signature.isError()) {
    return Error(
        "Could not base64-decode token signature: " + signature.error());
  }

  return JWT{
      std::move(header).get(),
      std::move(payload).get(),
      std::move(signature).get()};
}


namespace {

// The private key of `pem`, made ready once per thread and key: a service
// account signs every login with the same key, and reading the PEM and
// preparing the key costs twice the signature itself. Each thread keeps
// the last key it used, shared with no other thread.
Try<std::shared_ptr<RSA>> signingKey(const std::string& pem)
{
  thread_local std::string lastPem;
  thread_local std::shared_ptr<RSA> lastKey;

  if (lastKey != nullptr && pem == lastPem) {
    return lastKey;
  }

  Try<std::shared_ptr<RSA>> key = openssl::privateKey(pem);
  if (key.isSome()) {
    lastPem = pem;
    lastKey = key.get();
  }
  return key;
}

} // namespace {


Future<std::string> JWT::generateRS256(
    const corvanta::Credential& credential,
    const Option<process::Time>& exp)
{
  JSON::Object header;
  header.values["alg"] = credential.scheme();
  header.values["typ"] = "JWT";

  JSON::Object payload;
  payload.values["uid"] = credential.uid();
  if (exp.isSome()) {
    payload.values["exp"] = exp->secs();
  }

  const std::string input = base64::encode_uri(stringify(header)) + "." +
                            base64::encode_uri(stringify(payload));

  Try<std::shared_ptr<RSA>> key = signingKey(credential.private_key());
  if (key.isError()) {
    return Failure("Could not convert key: " + key.error());
  }

  Try<std::string> signature = openssl::signature(input, key.get());
  if (signature.isError()) {
    return Failure("Failed to sign message: " + signature.error());
  }

  return input + "." + base64::encode_uri(signature.get());
}


namespace {

// The signature over the header and payload components as received,
// joined by a dot.
Future<bool> checkSignature(const JWT& jwt, const std::shared_ptr<RSA>& key)
{
  Try<bool> valid = openssl::validateSignature(
      {jwt.header.encoded, ".", jwt.payload.encoded}, jwt.signature, key);
  if (valid.isError()) {
    return Failure("Failed to validate token signature: " + valid.error());
  }
  return valid.get();
}

} // namespace {


Future<bool> validateSignature(
    const std::string& token,
    const std::shared_ptr<RSA>& key)
{
  Try<JWT> jwt = JWT::parse(token);
  if (jwt.isError()) {
    LOG(INFO) << "Failed to parse JWT from token: " << jwt.error();
    return false;
  }

  return checkSignature(jwt.get(), key);
}


Future<bool> validateSignature(
    const JWT& jwt,
    const std::shared_ptr<RSA>& key)
{
  Try<Nothing> expiration = jwt.payload.validateExpiration();
  if (expiration.isError()) {
    LOG(INFO) << "Failed to parse JWT from token: " << expiration.error();
    return false;
  }

  return checkSignature(jwt, key);
}

} // namespace sentrel {
} // namespace mesos {
