#ifndef __SECRETS_HOOK_HPP__
#define __SECRETS_HOOK_HPP__

// The secrets hook: before the Docker containerizer starts a task, the
// task's secrets, fetched from the store, as its environment. The hook
// forwards each call to its actor, which only starts the fetch; the actor
// holds nothing but its immutable flags, audit writer and metrics.

#include <map>
#include <string>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>

#include <process/future.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>

#include "common/logfmt.hpp"
#include "secrets/common/metrics.hpp"
#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

class SecretsHookProcess : public process::Process<SecretsHookProcess>
{
public:
  SecretsHookProcess(
      const Flags& flags,
      const corvanta::LogFmt& logfmt,
      const SecretsMetrics& metrics);

  // Ready none for a launch without a task: an executor alone gets no
  // secrets from the hook. Otherwise a prepare info whose
  // `taskEnvironment` holds the task's secrets (neither field set when it
  // asks for none), or the fetch's failure after a deny record.
  process::Future<Option<mesos::DockerTaskExecutorPrepareInfo>> hook(
      const Option<mesos::TaskInfo>& taskInfo,
      const mesos::ExecutorInfo& executorInfo);

private:
  const Flags flags_;
  const corvanta::LogFmt logfmt_;
  const SecretsMetrics metrics_;
};


class SecretsHook : public mesos::Hook
{
public:
  explicit SecretsHook(const Flags& flags);
  ~SecretsHook() override;

  SecretsHook(const SecretsHook&) = delete;
  SecretsHook& operator=(const SecretsHook&) = delete;

  process::Future<Option<mesos::DockerTaskExecutorPrepareInfo>>
  slavePreLaunchDockerTaskExecutorDecorator(
      const Option<mesos::TaskInfo>& taskInfo,
      const mesos::ExecutorInfo& executorInfo,
      const std::string& containerName,
      const std::string& containerWorkDirectory,
      const std::string& mappedSandboxDirectory,
      const Option<std::map<std::string, std::string>>& env) override;

private:
  // Served while the module lives; its actor counts into a copy.
  SecretsMetrics metrics{HOOK_METRICS};
  SecretsHookProcess process;
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_HOOK_HPP__
