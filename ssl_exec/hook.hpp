#ifndef __SSL_EXEC_HOOK_HPP__
#define __SSL_EXEC_HOOK_HPP__

// The SSL executor hook: before the Docker containerizer starts a
// container on an agent that runs strict SSL, the agent's SSL files in the
// sandbox and the LIBPROCESS_SSL_* environment for the executor (host
// path) and the task (the path the container maps). It has no actor: the
// copies run on the caller's thread and the future it returns is complete.

#include <map>
#include <string>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>

#include <process/future.hpp>

#include <process/metrics/counter.hpp>

#include <stout/option.hpp>

#include "common/metric_set.hpp"
#include "ssl_exec/flags.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

// The hook's counts of the containers it decorated on a strict SSL agent:
// given the SSL files and environments, or failed.
struct SSLExecutorHookMetrics
{
  MetricSet set{"ovra/ssl_executor_hook"};
  process::metrics::Counter containers_prepared =
    set.counter("containers_prepared");
  process::metrics::Counter failures = set.counter("failures");
};


class SSLExecutorHook : public mesos::Hook
{
public:
  explicit SSLExecutorHook(const Flags& flags);
  ~SSLExecutorHook() override;

  // Ready none unless the agent runs strict SSL; else the copies made under
  // `containerWorkDirectory` and both environments, or the first failure.
  process::Future<Option<mesos::DockerTaskExecutorPrepareInfo>>
  slavePreLaunchDockerTaskExecutorDecorator(
      const Option<mesos::TaskInfo>& taskInfo,
      const mesos::ExecutorInfo& executorInfo,
      const std::string& containerName,
      const std::string& containerWorkDirectory,
      const std::string& mappedSandboxDirectory,
      const Option<std::map<std::string, std::string>>& env) override;

private:
  const Flags flags_;
  SSLExecutorHookMetrics metrics_;
};

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_HOOK_HPP__
