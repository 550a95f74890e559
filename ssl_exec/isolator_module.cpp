// Descriptor and factory of the SSL executor isolator.

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/isolator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
#include "ssl_exec/flags.hpp"
#include "ssl_exec/isolator.hpp"

namespace {

mesos::slave::Isolator* createSSLExecutorIsolator(
    const mesos::Parameters& parameters)
{
  corvanta::ovra::ssl_executor::Flags flags;
  return corvanta::createModule<mesos::slave::Isolator>(
      corvanta::SSL_EXECUTOR_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      nullptr,
      [&]() -> Try<mesos::slave::Isolator*> {
        return new corvanta::ovra::ssl_executor::SSLExecutorIsolator(flags);
      });
}

} // namespace {


mesos::modules::Module<mesos::slave::Isolator>
com_corvanta_ovra_SSLExecutorIsolator(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "SSL Executor Isolator module.",
    nullptr,
    createSSLExecutorIsolator);
