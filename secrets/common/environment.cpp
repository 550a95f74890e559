#include "secrets/common/environment.hpp"

#include <string>
#include <utility>

#include <stout/json.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/bounded_json.hpp"
#include "secrets/common/limits.hpp"

namespace mesos {
namespace secrets {

Try<std::string> variableName(const corvanta::Secret& secret)
{
  if (!secret.has_environment()) {
    return Error(
        "Requested secret '" + secret.name() + "' names no environment "
        "variable ('environment.name' is missing)");
  }

  const std::string name = strings::upper(secret.environment().name());
  if (name.empty()) {
    return Error(
        "Requested secret '" + secret.name() + "' names an empty "
        "environment variable");
  }

  if (name.find('=') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    return Error(
        "Requested secret '" + secret.name() + "' names an environment "
        "variable holding '=' or a NUL byte");
  }

  return name;
}


Try<mesos::Environment> resolveEnvironment(
    const Secrets& secrets,
    const std::list<std::string>& bodies)
{
  if (static_cast<size_t>(secrets.size()) != bodies.size()) {
    return Error(
        "Expected " + stringify(secrets.size()) + " answers of the store, "
        "got " + stringify(bodies.size()));
  }

  mesos::Environment environment;
  size_t total = 0;
  auto body = bodies.begin();
  for (const corvanta::Secret& secret : secrets) {
    const std::string failure = "Failed to parse secret '" + secret.name() +
      "': ";

    // The parser's message quotes the text it stopped at, which would put
    // part of the secret into logs and audit records: only its size is
    // told, and what is wrong when that holds no secret.
    const Option<Error> nesting = sentrel::checkJsonNesting(*body);
    if (nesting.isSome()) {
      return Error(
          failure + "the store's answer (" + stringify(body->size()) +
          " bytes): " + nesting->message);
    }

    Try<JSON::Object> object = JSON::parse<JSON::Object>(*body);
    if (object.isError()) {
      return Error(
          failure + "the store's answer (" + stringify(body->size()) +
          " bytes) is not a JSON object");
    }

    Try<corvanta::SecretStoreResponse> response =
      ::protobuf::parse<corvanta::SecretStoreResponse>(object.get());
    if (response.isError()) {
      return Error(failure + response.error());
    }

    Try<std::string> name = variableName(secret);
    if (name.isError()) {
      return Error(name.error());
    }

    // "NAME=value", as the task's environment will hold it.
    const size_t length = name->size() + 1 + response->value().size();
    if (length > MAX_SECRET_VARIABLE) {
      return Error(
          "Secret '" + secret.name() + "' is too large for an environment "
          "variable: " + stringify(length) + " bytes as " + name.get() +
          "=value, over the limit of " + stringify(MAX_SECRET_VARIABLE));
    }
    total += length;
    if (total > MAX_SECRETS_ENVIRONMENT) {
      return Error(
          "The requested secrets are too large for the task's environment: "
          "over " + stringify(MAX_SECRETS_ENVIRONMENT) + " bytes of "
          "variables at secret '" + secret.name() + "'");
    }

    mesos::Environment::Variable* variable = environment.add_variables();
    variable->set_name(name.get());
    variable->set_value(std::move(*response->mutable_value()));
    ++body;
  }

  return environment;
}

} // namespace secrets {
} // namespace mesos {
