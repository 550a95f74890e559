#include "tools/ovra_dev_secrets/core/secrets_file.hpp"

#include <string>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/result.hpp>

#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/json_field.hpp"

using mesos::sentrel::extractField;
using mesos::sentrel::requiredField;

namespace dev_secrets {

namespace {

Try<Secret> parseSecret(const std::string& name, const JSON::Value& value)
{
  if (value.is<JSON::String>()) {
    return Secret{value.as<JSON::String>().value, None()};
  }

  if (!value.is<JSON::Object>()) {
    return Error(
        "Secret '" + name + "' is neither a string nor an object");
  }

  const JSON::Object& object = value.as<JSON::Object>();
  const std::string context = "secret '" + name + "'";

  Try<const JSON::String*> secret = requiredField<JSON::String>(
      object, "value", context, "Secret '" + name + "' has no 'value'");
  if (secret.isError()) {
    return Error(secret.error());
  }

  Result<const JSON::Array*> readers =
    extractField<JSON::Array>(object, "readers", context);
  if (readers.isError()) {
    return Error(readers.error());
  }

  Secret result{secret.get()->value, None()};
  if (readers.isSome()) {
    std::set<std::string> uids;
    for (const JSON::Value& reader : readers.get()->values) {
      if (!reader.is<JSON::String>()) {
        return Error("The readers of secret '" + name + "' must be strings");
      }
      uids.insert(reader.as<JSON::String>().value);
    }
    result.readers = uids;
  }

  return result;
}

} // namespace {


Try<Secrets> parseSecrets(const std::string& json)
{
  Try<JSON::Object> object = mesos::sentrel::parseJson<JSON::Object>(json);
  if (object.isError()) {
    return Error("Invalid secrets document: " + object.error());
  }

  Secrets secrets;
  for (const auto& [name, value] : object->values) {
    Try<Secret> secret = parseSecret(name, value);
    if (secret.isError()) {
      return Error(secret.error());
    }
    secrets[name] = secret.get();
  }
  return secrets;
}


Try<Secrets> readSecrets(const std::string& path)
{
  Try<std::string> content = os::read(path);
  if (content.isError()) {
    return Error(
        "Could not read the secrets file '" + path + "': " + content.error());
  }
  return parseSecrets(content.get());
}

} // namespace dev_secrets {
