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


// The error "Failed to parse parameters: " and the load error, or success
// after each load warning is logged at WARNING.
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

} // namespace {


Try<Nothing> loadModuleFlags(
    flags::FlagsBase* flags,
    const mesos::Parameters& parameters,
    bool unknowns)
{
  // One load: the parameters beat the environment, and stout refuses to load
  // one flag twice on the same object.
  return reportFlagsLoad(flags->load(
      parametersMap(parameters), unknowns, FLAGS_ENVIRONMENT_PREFIX));
}

} // namespace corvanta {
