#ifndef __SSL_EXEC_ISOLATOR_HPP__
#define __SSL_EXEC_ISOLATOR_HPP__

// The SSL executor isolator: when the Mesos containerizer prepares a
// container on an agent that runs strict SSL, the agent's SSL files in the
// sandbox and the LIBPROCESS_SSL_* environment pointing at them. The
// isolator forwards every call to its actor, which acts on `prepare` only:
// it makes the copies one container at a time and holds nothing but its
// immutable flags and its counts.

#include <mesos/mesos.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>

#include <process/metrics/counter.hpp>

#include <stout/option.hpp>

#include "common/isolator_adapter.hpp"
#include "common/metric_set.hpp"
#include "ssl_exec/flags.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

// The isolator's counts of the containers it prepared on a strict SSL
// agent: given the SSL files and environment, or failed.
struct SSLExecutorIsolatorMetrics
{
  MetricSet set{"ovra/ssl_executor_isolator"};
  process::metrics::Counter containers_prepared =
    set.counter("containers_prepared");
  process::metrics::Counter failures = set.counter("failures");
};


class SSLExecutorIsolatorProcess : public IsolatorProcess
{
public:
  explicit SSLExecutorIsolatorProcess(const Flags& flags);

  // Ready none unless the agent runs strict SSL; else a launch info whose
  // `environment` points under the sandbox's host path, or the failure.
  process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig) override;

private:
  const Flags flags_;

  // Served while the module lives.
  SSLExecutorIsolatorMetrics metrics_;
};


class SSLExecutorIsolator : public IsolatorAdapter
{
public:
  explicit SSLExecutorIsolator(const Flags& flags);
};

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_ISOLATOR_HPP__
