#include "common/sentrel/jwk.hpp"

#include <string>

#include <glog/logging.h>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/stringify.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/base64url.hpp"
#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/bounded_request.hpp"
#include "common/sentrel/excerpt.hpp"
#include "common/sentrel/json_field.hpp"

using process::Failure;
using process::Future;

using process::http::Headers;
using process::http::Response;
using process::http::URL;

namespace mesos {
namespace sentrel {
namespace JWK {

namespace {

const char CONTEXT[] = "JSON Web Key string";
const char JWKS_PATH[] = "acs/api/v1/auth/jwks";
const char QUERY_FAILURE[] = "Failed to obtain sentrel public key";


// The bytes of the base64url field `name` ("n" or "e") of a key.
Try<std::string> keyComponent(const JSON::Object& key, const std::string& name)
{
  Try<const JSON::String*> field = requiredField<JSON::String>(
      key, name, CONTEXT, "Could not locate '" + name + "' in " + CONTEXT);
  if (field.isError()) {
    return Error(field.error());
  }

  Try<std::string> bytes = base64::decode_uri(field.get()->value);
  if (bytes.isError()) {
    return Error(
        "Could not base64-decode field '" + name + "' in " + CONTEXT + ": " +
        bytes.error());
  }

  return bytes;
}

} // namespace {


Try<std::shared_ptr<RSA>> extractPublicKey(const std::string& jwk)
{
  Try<JSON::Object> document = parseJson<JSON::Object>(jwk);
  if (document.isError()) {
    return Error("Could not parse JSON Web Key string: " + document.error());
  }

  Try<const JSON::Array*> keys = requiredField<JSON::Array>(
      document.get(),
      "keys",
      CONTEXT,
      "Could not locate 'keys' in JSON Web Key string");
  if (keys.isError()) {
    return Error(keys.error());
  }

  if (keys.get()->values.empty()) {
    return Error("Field 'keys' in JSON Web Key string is empty");
  }

  if (keys.get()->values.size() > 1) {
    LOG(INFO) << "Expected one key in JSON Web Key string, found "
              << keys.get()->values.size() << "; Using first key";
  }

  const JSON::Value& key = keys.get()->values.front();
  if (!key.is<JSON::Object>()) {
    return Error("Key in JSON Web Key string is not a map as expected");
  }

  Try<std::string> modulus = keyComponent(key.as<JSON::Object>(), "n");
  if (modulus.isError()) {
    return Error(modulus.error());
  }

  Try<std::string> exponent = keyComponent(key.as<JSON::Object>(), "e");
  if (exponent.isError()) {
    return Error(exponent.error());
  }

  return openssl::publicKey(modulus.get(), exponent.get());
}


Future<std::shared_ptr<RSA>> querySentrelPublicKey(
    const URL& url,
    const Duration& timeout)
{
  const Future<Response> response = boundedGet(
      url,
      Headers({{"Content-Type", "application/json"}}),
      RequestLimits{timeout, std::string(QUERY_FAILURE) + ": Request timed out after "});

  return response.then(
      [](const Response& response) -> Future<std::shared_ptr<RSA>> {
        if (response.code != 200) {
          return Failure(
              std::string(QUERY_FAILURE) + ": Received non-success code (" +
              response.status + ") when querying Sentrel's public key: " +
              excerpt(response.body));
        }

        Try<std::shared_ptr<RSA>> key = extractPublicKey(response.body);
        if (key.isError()) {
          return Failure(
              std::string(QUERY_FAILURE) +
              ": Error while extracting public key from Sentrel response: " +
              key.error());
        }

        return key.get();
      });
}


URL jwksURL(const URL& iam)
{
  URL url = iam;
  url.path = JWKS_PATH;
  return url;
}

} // namespace JWK {
} // namespace sentrel {
} // namespace mesos {
