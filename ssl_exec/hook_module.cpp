// Descriptor and factory of the SSL executor hook.

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/hook.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
#include "ssl_exec/flags.hpp"
#include "ssl_exec/hook.hpp"

namespace {

mesos::Hook* createSSLExecutorHook(const mesos::Parameters& parameters)
{
  corvanta::ovra::ssl_executor::Flags flags;
  return corvanta::createModule<mesos::Hook>(
      corvanta::SSL_EXECUTOR_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      nullptr,
      [&]() -> Try<mesos::Hook*> {
        return new corvanta::ovra::ssl_executor::SSLExecutorHook(flags);
      });
}

} // namespace {


mesos::modules::Module<mesos::Hook> com_corvanta_ovra_SSLExecutorHook(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "SSL executor hook module.",
    nullptr,
    createSSLExecutorHook);
