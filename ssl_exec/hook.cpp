#include "ssl_exec/hook.hpp"

#include <process/future.hpp>

#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "ssl_exec/assets.hpp"
#include "ssl_exec/environment.hpp"

using mesos::DockerTaskExecutorPrepareInfo;

using process::Failure;
using process::Future;

namespace corvanta {
namespace ovra {
namespace ssl_executor {

namespace {

// The copies under `containerWorkDirectory` and both environments, or the
// first failure.
Try<DockerTaskExecutorPrepareInfo> prepareInfo(
    const Flags& flags,
    const std::string& containerWorkDirectory,
    const std::string& mappedSandboxDirectory)
{
  // The files are copied once, under the host path; the executor runs on
  // the host, the task sees the same sandbox at the mapped path.
  Try<Nothing> copied = copySSLAssets(flags, containerWorkDirectory);
  if (copied.isError()) {
    return Error("Failed to copy SSL assets: " + copied.error());
  }

  Try<mesos::Environment> executorEnvironment =
    prepareEnvironment(flags, containerWorkDirectory);
  if (executorEnvironment.isError()) {
    return Error(
        "Failed to prepare executor environment: " +
        executorEnvironment.error());
  }

  Try<mesos::Environment> taskEnvironment =
    prepareEnvironment(flags, mappedSandboxDirectory);
  if (taskEnvironment.isError()) {
    return Error(
        "Failed to prepare task environment: " + taskEnvironment.error());
  }

  DockerTaskExecutorPrepareInfo info;
  info.mutable_executorenvironment()->CopyFrom(executorEnvironment.get());
  info.mutable_taskenvironment()->CopyFrom(taskEnvironment.get());
  return info;
}

} // namespace {


SSLExecutorHook::SSLExecutorHook(const Flags& flags) : flags_(flags) {}


SSLExecutorHook::~SSLExecutorHook() {}


Future<Option<DockerTaskExecutorPrepareInfo>>
SSLExecutorHook::slavePreLaunchDockerTaskExecutorDecorator(
    const Option<mesos::TaskInfo>& /*taskInfo*/,
    const mesos::ExecutorInfo& /*executorInfo*/,
    const std::string& /*containerName*/,
    const std::string& containerWorkDirectory,
    const std::string& mappedSandboxDirectory,
    const Option<std::map<std::string, std::string>>& /*env*/)
{
  if (!needsSSLEnvironment()) {
    return None();
  }

  Try<DockerTaskExecutorPrepareInfo> info =
    prepareInfo(flags_, containerWorkDirectory, mappedSandboxDirectory);
  if (info.isError()) {
    ++metrics_.failures;
    return Failure(info.error());
  }

  ++metrics_.containers_prepared;
  return Option<DockerTaskExecutorPrepareInfo>(info.get());
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
