#include "tools/ovra_dev_iam/core/config.hpp"

#include <string>

#include <stout/error.hpp>
#include <stout/os/read.hpp>
#include <stout/result.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/json_field.hpp"

using mesos::sentrel::extractField;

namespace dev_iam {

namespace {

const char CONTEXT[] = "the development IAM configuration";

} // namespace {


Try<Users> parseUsers(const JSON::Object& users)
{
  Users parsed;
  for (const auto& [uid, permissions] : users.values) {
    if (!permissions.is<JSON::Object>()) {
      return Error("The permissions of user '" + uid + "' are not an object");
    }
    parsed[uid] = permissions.as<JSON::Object>();
  }
  return parsed;
}


Try<Config> parseConfig(const std::string& json)
{
  Try<JSON::Object> document = mesos::sentrel::parseJson<JSON::Object>(json);
  if (document.isError()) {
    return Error("Could not parse the configuration: " + document.error());
  }

  Config config;

  Result<const JSON::String*> privateKey =
    extractField<JSON::String>(document.get(), "private_key", CONTEXT);

  if (privateKey.isError()) {
    return Error(privateKey.error());
  }

  Try<KeyPair> key = privateKey.isSome()
    ? keyPairOf(privateKey.get()->value)
    : generateKeyPair();

  if (key.isError()) {
    return Error("Invalid key of the IAM service: " + key.error());
  }
  config.key = key.get();
  config.generatedKey = privateKey.isNone();

  Result<const JSON::String*> lifetime =
    extractField<JSON::String>(document.get(), "token_lifetime", CONTEXT);

  if (lifetime.isError()) {
    return Error(lifetime.error());
  }

  if (lifetime.isSome()) {
    Try<Duration> duration = Duration::parse(lifetime.get()->value);
    if (duration.isError()) {
      return Error("Invalid 'token_lifetime': " + duration.error());
    }
    config.tokenLifetime = duration.get();
  }

  Result<const JSON::Boolean*> requireAuthorization =
    extractField<JSON::Boolean>(
        document.get(), "require_authorization", CONTEXT);

  if (requireAuthorization.isError()) {
    return Error(requireAuthorization.error());
  }
  config.requireAuthorization =
    requireAuthorization.isSome() && requireAuthorization.get()->value;

  Result<const JSON::Object*> users =
    extractField<JSON::Object>(document.get(), "users", CONTEXT);

  if (users.isError()) {
    return Error(users.error());
  }

  if (users.isSome()) {
    Try<Users> parsed = parseUsers(*users.get());
    if (parsed.isError()) {
      return Error(parsed.error());
    }
    config.users = parsed.get();
  }

  Result<const JSON::Object*> accounts =
    extractField<JSON::Object>(document.get(), "service_accounts", CONTEXT);

  if (accounts.isError()) {
    return Error(accounts.error());
  }

  if (accounts.isSome()) {
    for (const auto& [uid, account] : accounts.get()->values) {
      const std::string context = "service account '" + uid + "'";

      if (!account.is<JSON::Object>()) {
        return Error("The " + context + " is not an object");
      }

      Result<const JSON::String*> publicKey = extractField<JSON::String>(
          account.as<JSON::Object>(), "public_key", context);

      if (publicKey.isError()) {
        return Error(publicKey.error());
      }

      if (publicKey.isNone()) {
        return Error("The " + context + " has no 'public_key'");
      }

      Try<std::shared_ptr<RSA>> rsa =
        openssl::publicKey(publicKey.get()->value);
      if (rsa.isError()) {
        return Error("Invalid key of " + context + ": " + rsa.error());
      }

      config.serviceAccounts[uid] = publicKey.get()->value;
    }
  }

  return config;
}


Try<Config> readConfig(const std::string& path)
{
  Try<std::string> content = os::read(path);
  if (content.isError()) {
    return Error(
        "Could not read the configuration '" + path + "': " + content.error());
  }

  return parseConfig(content.get());
}


Try<Users> readUsers(const std::string& path)
{
  Try<std::string> content = os::read(path);
  if (content.isError()) {
    return Error("Could not read the users '" + path + "': " + content.error());
  }

  Try<JSON::Object> users = mesos::sentrel::parseJson<JSON::Object>(content.get());
  if (users.isError()) {
    return Error("Could not parse the users '" + path + "': " + users.error());
  }

  return parseUsers(users.get());
}

} // namespace dev_iam {
