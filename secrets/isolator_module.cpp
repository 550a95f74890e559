// Descriptor and factory of the secrets isolator.

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/isolator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
#include "secrets/flags.hpp"
#include "secrets/isolator.hpp"

namespace {

mesos::slave::Isolator* createSecretsIsolator(
    const mesos::Parameters& parameters)
{
  mesos::secrets::Flags flags;
  return corvanta::createModule<mesos::slave::Isolator>(
      corvanta::SECRETS_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      [&] { return flags.validate(); },
      [&]() -> Try<mesos::slave::Isolator*> {
        return new mesos::secrets::SecretsIsolator(flags);
      });
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
