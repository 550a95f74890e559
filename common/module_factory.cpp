#include "common/module_factory.hpp"

#include <map>
#include <string>

#include <glog/logging.h>

#include <stout/error.hpp>

namespace corvanta {

namespace {

// The parameters as a map from key to value; of a key given twice the later
// value wins. Parameters that lack a key or a value are left out.
std::map<std::string, std::string> parametersMap(
    const mesos::Parameters& parameters)
{
  std::map<std::string, std::string> values;
  for (const mesos::Parameter& parameter : parameters.parameter()) {
    if (parameter.has_key() && parameter.has_value()) {
      values[parameter.key()] = parameter.value();
    }
  }
  return values;
}


// Flags whose inline value is a secret: a credential holds a private key.
const char* const SECRET_FLAGS[] = {"service_account_credential"};

// The text put in place of a secret value that a load error quotes.
constexpr char NOT_SHOWN[] = "<inline credential, not shown>";


// `error` with every inline value of a secret flag replaced: stout's
// "Failed to load value '<value>'" quotes the value as given, and the
// factories log that error. A value naming a file ("file://" or an
// absolute path) is kept, since it names what the operator must fix.
std::string redact(
    std::string error,
    const std::map<std::string, std::string>& values)
{
  for (const char* name : SECRET_FLAGS) {
    const auto value = values.find(name);
    if (value == values.end() || value->second.empty() ||
        value->second[0] == '/' ||
        value->second.compare(0, 7, "file://") == 0) {
      continue;
    }
    size_t at = 0;
    while ((at = error.find(value->second, at)) != std::string::npos) {
      error.replace(at, value->second.size(), NOT_SHOWN);
      at += sizeof(NOT_SHOWN) - 1;
    }
  }
  return error;
}


// The error "Failed to parse parameters: " and the load error, or success
// after each load warning is logged at WARNING.
Try<Nothing> reportFlagsLoad(
    const Try<flags::Warnings>& load,
    const std::map<std::string, std::string>& values)
{
  if (load.isError()) {
    return Error("Failed to parse parameters: " + redact(load.error(), values));
  }

  for (const flags::Warning& warning : load->warnings) {
    LOG(WARNING) << warning.message;
  }

  return Nothing();
}

} // namespace {


Try<Nothing> loadModuleFlags(
    flags::FlagsBase* flags,
    const mesos::Parameters& parameters,
    bool unknowns)
{
  // One load: the parameters beat the environment, and stout refuses to load
  // one flag twice on the same object.
  const std::map<std::string, std::string> values = parametersMap(parameters);
  return reportFlagsLoad(
      flags->load(values, unknowns, FLAGS_ENVIRONMENT_PREFIX), values);
}


bool admitted(
    const ModulePolicy& policy,
    const CreationStep& load,
    const CreationStep& check)
{
  if (load) {
    Try<Nothing> loaded = load();
    if (loaded.isError()) {
      LOG(ERROR) << policy.loadFailure << loaded.error();
      return false;
    }
  }

  if (check) {
    Try<Nothing> checked = check();
    if (checked.isError()) {
      LOG(ERROR) << policy.checkFailure << checked.error();
      return policy.onCheckFailure == OnCheckFailure::CREATE;
    }
  }

  return true;
}

} // namespace corvanta {
