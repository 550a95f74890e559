#ifndef __SECRETS_ISOLATOR_HPP__
#define __SECRETS_ISOLATOR_HPP__

// The secrets isolator: when the Mesos containerizer prepares a container,
// the secrets of its task or executor, fetched from the store, as the
// container's environment. The isolator forwards every call to its actor,
// which acts on `prepare` only: it starts the fetch and keeps no
// per-container state.

#include <mesos/mesos.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>

#include <stout/option.hpp>

#include "common/isolator_adapter.hpp"
#include "common/logfmt.hpp"
#include "secrets/common/metrics.hpp"
#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

class SecretsIsolatorProcess : public corvanta::IsolatorProcess
{
public:
  SecretsIsolatorProcess(const Flags& flags, const corvanta::LogFmt& logfmt);

  // None when the container asks for no secrets; else a launch info whose
  // `environment` holds them; or the fetch's failure after a deny record.
  // An executor without a task gets the secrets of its own labels.
  process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig) override;

private:
  const Flags flags_;
  const corvanta::LogFmt logfmt_;

  // Served while the module lives.
  const SecretsMetrics metrics_{ISOLATOR_METRICS};
};


class SecretsIsolator : public corvanta::IsolatorAdapter
{
public:
  explicit SecretsIsolator(const Flags& flags);
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_ISOLATOR_HPP__
