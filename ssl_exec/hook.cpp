#include "ssl_exec/hook.hpp"

#include <process/future.hpp>

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

  // The files are copied once, under the host path; the executor runs on
  // the host, the task sees the same sandbox at the mapped path.
  Try<Nothing> copied = copySSLAssets(flags_, containerWorkDirectory);
  if (copied.isError()) {
    return Failure("Failed to copy SSL assets: " + copied.error());
  }

  Try<mesos::Environment> executorEnvironment =
    prepareEnvironment(flags_, containerWorkDirectory);
  if (executorEnvironment.isError()) {
    return Failure(
        "Failed to prepare executor environment: " +
        executorEnvironment.error());
  }

  Try<mesos::Environment> taskEnvironment =
    prepareEnvironment(flags_, mappedSandboxDirectory);
  if (taskEnvironment.isError()) {
    return Failure(
        "Failed to prepare task environment: " + taskEnvironment.error());
  }

  DockerTaskExecutorPrepareInfo info;
  info.mutable_executorenvironment()->CopyFrom(executorEnvironment.get());
  info.mutable_taskenvironment()->CopyFrom(taskEnvironment.get());
  return info;
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
