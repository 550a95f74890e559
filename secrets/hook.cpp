#include "secrets/hook.hpp"

#include <string>

#include <process/dispatch.hpp>

#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/audit_flags.hpp"
#include "secrets/common/fetch.hpp"

using mesos::DockerTaskExecutorPrepareInfo;

using process::Future;

namespace mesos {
namespace secrets {

SecretsHookProcess::SecretsHookProcess(
    const Flags& flags,
    const corvanta::LogFmt& logfmt,
    const SecretsMetrics& metrics)
  : ProcessBase(""),
    flags_(flags),
    logfmt_(logfmt),
    metrics_(metrics) {}


Future<Option<DockerTaskExecutorPrepareInfo>> SecretsHookProcess::hook(
    const Option<mesos::TaskInfo>& taskInfo,
    const mesos::ExecutorInfo& executorInfo)
{
  if (taskInfo.isNone()) {
    return None();
  }

  const mesos::TaskInfo task = taskInfo.get();
  return auditFailure(
             fetchSecrets(flags_, executorInfo, taskInfo, metrics_),
             logfmt_,
             accountUid(flags_),
             [task, executorInfo]() {
               return "TaskInfo: " + stringify(JSON::protobuf(task)) +
                 "ExecutorInfo: " + stringify(JSON::protobuf(executorInfo));
             })
    .then([](const Option<mesos::Environment>& environment)
            -> Option<DockerTaskExecutorPrepareInfo> {
      DockerTaskExecutorPrepareInfo info;
      if (environment.isSome()) {
        info.mutable_taskenvironment()->CopyFrom(environment.get());
      }
      return info;
    });
}


SecretsHook::SecretsHook(const Flags& flags)
  : process(flags, corvanta::auditLog(flags), metrics)
{
  process::spawn(process);
}


SecretsHook::~SecretsHook()
{
  process::terminate(process);
  process::wait(process);
}


Future<Option<DockerTaskExecutorPrepareInfo>>
SecretsHook::slavePreLaunchDockerTaskExecutorDecorator(
    const Option<mesos::TaskInfo>& taskInfo,
    const mesos::ExecutorInfo& executorInfo,
    const std::string& /*containerName*/,
    const std::string& /*containerWorkDirectory*/,
    const std::string& /*mappedSandboxDirectory*/,
    const Option<std::map<std::string, std::string>>& /*env*/)
{
  return process::dispatch(
      process, &SecretsHookProcess::hook, taskInfo, executorInfo);
}

} // namespace secrets {
} // namespace mesos {
