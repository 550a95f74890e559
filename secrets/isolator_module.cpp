// Descriptor and factory of the secrets isolator.

#include <glog/logging.h>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/isolator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "secrets/flags.hpp"

namespace {

mesos::slave::Isolator* createSecretsIsolator(
    const mesos::Parameters& parameters)
{
  mesos::secrets::Flags flags;

  Try<Nothing> load = corvanta::loadModuleFlags(&flags, parameters);
  if (load.isError()) {
    LOG(ERROR) << load.error();
    return nullptr;
  }

  corvanta::logModuleNotAvailable("com_corvanta_ovra_SecretsIsolator");
  return nullptr;
}

} // namespace {


mesos::modules::Module<mesos::slave::Isolator>
com_corvanta_ovra_SecretsIsolator(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "Secrets Isolator module.",
    nullptr,
    createSecretsIsolator);
