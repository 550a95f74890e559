#include "secrets/isolator.hpp"

#include <string>

#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/audit_flags.hpp"
#include "secrets/common/fetch.hpp"

using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Future;

namespace mesos {
namespace secrets {

SecretsIsolatorProcess::SecretsIsolatorProcess(
    const Flags& flags,
    const corvanta::LogFmt& logfmt)
  : ProcessBase(""),
    flags_(flags),
    logfmt_(logfmt) {}


Future<Option<ContainerLaunchInfo>> SecretsIsolatorProcess::prepare(
    const mesos::ContainerID& /*containerId*/,
    const ContainerConfig& containerConfig)
{
  const Option<mesos::TaskInfo> task = containerConfig.has_task_info()
    ? Option<mesos::TaskInfo>(containerConfig.task_info())
    : None();

  // Without an executor_info the executor has no labels to look in.
  const mesos::ExecutorInfo executor = containerConfig.executor_info();

  return auditFailure(
             fetchSecrets(flags_, executor, task, metrics_),
             logfmt_,
             accountUid(flags_),
             [containerConfig]() {
               return stringify(JSON::protobuf(containerConfig));
             })
    .then([](const Option<mesos::Environment>& environment)
            -> Option<ContainerLaunchInfo> {
      if (environment.isNone()) {
        return None();
      }
      ContainerLaunchInfo info;
      info.mutable_environment()->CopyFrom(environment.get());
      return info;
    });
}


SecretsIsolator::SecretsIsolator(const Flags& flags)
  : IsolatorAdapter(process::Owned<corvanta::IsolatorProcess>(
        new SecretsIsolatorProcess(flags, corvanta::auditLog(flags)))) {}

} // namespace secrets {
} // namespace mesos {
