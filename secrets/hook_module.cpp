// Descriptor and factory of the secrets hook.

#include <glog/logging.h>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/hook.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "secrets/flags.hpp"
#include "secrets/hook.hpp"

namespace {

mesos::Hook* createSecretsHook(const mesos::Parameters& parameters)
{
  mesos::secrets::Flags flags;

  Try<Nothing> load = corvanta::loadModuleFlags(&flags, parameters);
  if (load.isError()) {
    LOG(ERROR) << load.error();
    return nullptr;
  }

  // A store that cannot be reached now may be reached later: the module is
  // created all the same, and each fetch meets the store afresh.
  Try<Nothing> validate = flags.validate();
  if (validate.isError()) {
    LOG(ERROR) << "Failed to validate parameters: " << validate.error();
  }

  return new mesos::secrets::SecretsHook(flags);
}

} // namespace {


mesos::modules::Module<mesos::Hook> com_corvanta_ovra_SecretsHook(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "Secrets Hook module.",
    nullptr,
    createSecretsHook);
