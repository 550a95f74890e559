// A modules configuration as an operator writes it for --modules: the
// JSON, its Modules form, and each module's parameters loaded into the
// flags of every module of this library (the step each factory takes
// first). Values that name files are left out: the input would name files
// of this machine.

#include <string>

#include "module/manager.hpp"

#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "ovra_auth/authenticator_flags.hpp"
#include "ovra_auth/authorizer_flags.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"
#include "secrets/flags.hpp"
#include "ssl_exec/flags.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

namespace {

bool namesFiles(const mesos::Parameters& parameters)
{
  for (const mesos::Parameter& parameter : parameters.parameter()) {
    if (strings::startsWith(parameter.value(), "/") ||
        parameter.value().find("file://") != std::string::npos) {
      return true;
    }
  }
  return false;
}


template <typename Flags>
void load(const mesos::Parameters& parameters)
{
  Flags flags;
  corvanta::loadModuleFlags(&flags, parameters);
  flags.usage();
}

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string input = fuzz::text(data, size);
  if (strings::startsWith(input, "file://") ||
      strings::startsWith(input, "/")) {
    return 0;
  }

  Try<mesos::Modules> modules = mesos::modules::parseModules(input);
  if (modules.isError()) {
    return 0;
  }

  for (const auto& library : modules->libraries()) {
    for (const auto& module : library.modules()) {
      mesos::Parameters parameters;
      *parameters.mutable_parameter() = module.parameters();
      if (namesFiles(parameters)) {
        continue;
      }
      load<mesos::ovra::OVRAHTTPAuthenticatorFlags>(parameters);
      load<mesos::ovra::OVRAAuthorizerFlags>(parameters);
      load<corvanta::ovra::AuthenticatorFlags>(parameters);
      load<mesos::secrets::Flags>(parameters);
      load<corvanta::ovra::ssl_executor::Flags>(parameters);
    }
  }
  return 0;
}
