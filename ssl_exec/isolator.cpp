#include "ssl_exec/isolator.hpp"

#include <process/dispatch.hpp>

#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "ssl_exec/assets.hpp"
#include "ssl_exec/environment.hpp"

using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Failure;
using process::Future;

namespace corvanta {
namespace ovra {
namespace ssl_executor {

SSLExecutorIsolatorProcess::SSLExecutorIsolatorProcess(const Flags& flags)
  : ProcessBase(""),
    flags_(flags) {}


Future<Option<ContainerLaunchInfo>> SSLExecutorIsolatorProcess::prepare(
    const mesos::ContainerID& /*containerId*/,
    const ContainerConfig& containerConfig)
{
  if (!needsSSLEnvironment()) {
    return None();
  }

  Try<Nothing> copied = copySSLAssets(flags_, containerConfig.directory());
  if (copied.isError()) {
    return Failure("Failed to make SSL assets available: " + copied.error());
  }

  // The host path even for a container with its own root file system.
  Try<mesos::Environment> environment =
    prepareEnvironment(flags_, containerConfig.directory());
  if (environment.isError()) {
    return Failure(
        "Failed to prepare executor environment: " + environment.error());
  }

  ContainerLaunchInfo info;
  info.mutable_environment()->CopyFrom(environment.get());
  return info;
}


SSLExecutorIsolator::SSLExecutorIsolator(const Flags& flags)
  : process(new SSLExecutorIsolatorProcess(flags))
{
  process::spawn(process.get());
}


SSLExecutorIsolator::~SSLExecutorIsolator()
{
  process::terminate(process.get());
  process::wait(process.get());
}


Future<Option<ContainerLaunchInfo>> SSLExecutorIsolator::prepare(
    const mesos::ContainerID& containerId,
    const ContainerConfig& containerConfig)
{
  return process::dispatch(
      process.get(),
      &SSLExecutorIsolatorProcess::prepare,
      containerId,
      containerConfig);
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
