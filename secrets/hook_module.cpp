// Descriptor and factory of the secrets hook.

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/hook.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
#include "secrets/flags.hpp"
#include "secrets/hook.hpp"

namespace {

mesos::Hook* createSecretsHook(const mesos::Parameters& parameters)
{
  mesos::secrets::Flags flags;
  return corvanta::createModule<mesos::Hook>(
      corvanta::SECRETS_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      [&] { return flags.validate(); },
      [&]() -> Try<mesos::Hook*> {
        return new mesos::secrets::SecretsHook(flags);
      });
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
