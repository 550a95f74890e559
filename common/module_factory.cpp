#include "common/module_factory.hpp"

#include <glog/logging.h>

#include <stout/error.hpp>

namespace corvanta {

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


Try<Nothing> loadModuleFlags(
    flags::FlagsBase* flags,
    const mesos::Parameters& parameters)
{
  return reportFlagsLoad(
      flags->load(parametersMap(parameters), false, FLAGS_ENVIRONMENT_PREFIX));
}


Try<Nothing> reportFlagsLoad(const Try<flags::Warnings>& load)
{
  if (load.isError()) {
    return Error("Failed to parse parameters: " + load.error());
  }

  for (const flags::Warning& warning : load->warnings) {
    LOG(WARNING) << warning.message;
  }

  return Nothing();
}


void logModuleNotAvailable(const std::string& descriptor)
{
  LOG(ERROR) << "Module '" << descriptor << "' is not available yet: "
             << "this build of the library cannot construct it";
}

} // namespace corvanta {
