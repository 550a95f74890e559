#include "ssl_exec/isolator.hpp"

#include <stout/error.hpp>
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

namespace {

// The copies under the sandbox and a launch info whose `environment`
// points at them, or the first failure.
Try<ContainerLaunchInfo> prepareInfo(
    const Flags& flags,
    const ContainerConfig& containerConfig)
{
  Try<Nothing> copied = copySSLAssets(flags, containerConfig.directory());
  if (copied.isError()) {
    return Error("Failed to make SSL assets available: " + copied.error());
  }

  // The host path even for a container with its own root file system.
  Try<mesos::Environment> environment =
    prepareEnvironment(flags, containerConfig.directory());
  if (environment.isError()) {
    return Error(
        "Failed to prepare executor environment: " + environment.error());
  }

  ContainerLaunchInfo info;
  info.mutable_environment()->CopyFrom(environment.get());
  return info;
}

} // namespace {


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

  Try<ContainerLaunchInfo> info = prepareInfo(flags_, containerConfig);
  if (info.isError()) {
    ++metrics_.failures;
    return Failure(info.error());
  }

  ++metrics_.containers_prepared;
  return Option<ContainerLaunchInfo>(info.get());
}


SSLExecutorIsolator::SSLExecutorIsolator(const Flags& flags)
  : IsolatorAdapter(
        process::Owned<IsolatorProcess>(new SSLExecutorIsolatorProcess(flags)))
{}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
