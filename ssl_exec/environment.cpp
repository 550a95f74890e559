#include "ssl_exec/environment.hpp"

#include <set>
#include <utility>

#include <glog/logging.h>

#include <process/ssl/flags.hpp>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/path.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel/bounded_json.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

namespace {

// Computed for every executor; the operator cannot set them.
const std::set<std::string>& reservedNames()
{
  static const std::set<std::string>* names = new std::set<std::string>{
    "LIBPROCESS_SSL_CA_FILE",
    "LIBPROCESS_SSL_CERT_FILE",
    "LIBPROCESS_SSL_ENABLED",
    "LIBPROCESS_SSL_REQUIRE_CERT",
    "LIBPROCESS_SSL_VERIFY_CERT",
    "LIBPROCESS_SSL_VERIFY_IPADD",
    "LIBPROCESS_SSL_KEY_FILE",
  };
  return *names;
}


void append(
    mesos::Environment* environment,
    const std::string& name,
    const std::string& value)
{
  mesos::Environment::Variable* variable = environment->add_variables();
  variable->set_name(name);
  variable->set_value(value);
}


std::string boolean(bool value)
{
  return value ? "true" : "false";
}

} // namespace {


Try<std::map<std::string, std::string>> executorEnvironment(
    const Option<std::string>& input)
{
  std::map<std::string, std::string> variables;
  if (input.isNone()) {
    return variables;
  }

  if (input->size() > MAX_EXECUTOR_ENVIRONMENT_SIZE) {
    return Error(
        "Failed to parse 'executor_environment': it holds " +
        stringify(input->size()) + " bytes, more than the limit of " +
        stringify(MAX_EXECUTOR_ENVIRONMENT_SIZE));
  }

  Try<JSON::Object> object =
    mesos::sentrel::parseJson<JSON::Object>(input.get());
  if (object.isError()) {
    return Error("Failed to parse 'executor_environment': " + object.error());
  }

  for (const auto& [key, value] : object->values) {
    if (!value.is<JSON::String>()) {
      return Error(
          "Value of key '" + key + "' in 'executor_environment' is not a "
          "string");
    }
    variables[key] = value.as<JSON::String>().value;
  }

  return variables;
}


Try<mesos::Environment> prepareEnvironment(
    const Flags& flags,
    const std::string& root)
{
  mesos::Environment environment;

  if (flags.executor_environment.isSome()) {
    Try<std::map<std::string, std::string>> variables =
      executorEnvironment(flags.executor_environment);
    if (variables.isError()) {
      return Error(
          "Failed to parse 'executor_environment': " + variables.error());
    }

    for (const auto& [name, value] : variables.get()) {
      if (reservedNames().count(name) > 0) {
        LOG(WARNING) << "Ignoring user supplied executor_environment variable "
                     << name << " as its value needs to be computed and set "
                     << "dynamically.";
        continue;
      }
      append(&environment, name, value);
    }
  }

  const auto inSandbox = [&](const std::string& file) {
    return path::join(root, flags.sandbox_subfolder, Path(file).basename());
  };

  const process::network::openssl::Flags& ssl =
    process::network::openssl::flags();

  append(&environment, "LIBPROCESS_SSL_CA_FILE", inSandbox(flags.ca_file));
  append(&environment, "LIBPROCESS_SSL_CERT_FILE", inSandbox(flags.cert_file));
  append(&environment, "LIBPROCESS_SSL_KEY_FILE", inSandbox(flags.key_file));
  append(&environment, "LIBPROCESS_SSL_ENABLED", boolean(ssl.enabled));
  append(&environment, "LIBPROCESS_SSL_VERIFY_CERT", boolean(ssl.verify_cert));
  append(&environment, "LIBPROCESS_SSL_REQUIRE_CERT", boolean(ssl.require_cert));
  append(&environment, "LIBPROCESS_SSL_VERIFY_IPADD", boolean(ssl.verify_ipadd));

  return environment;
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
