#ifndef __SECRETS_ISOLATOR_HPP__
#define __SECRETS_ISOLATOR_HPP__

// The secrets isolator: when the Mesos containerizer prepares a container,
// the secrets of its task or executor, fetched from the store, as the
// container's environment. The isolator forwards `prepare` to its actor,
// which only starts the fetch and keeps no per-container state.

#include <mesos/mesos.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>

#include "common/logfmt.hpp"
#include "secrets/common/metrics.hpp"
#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

class SecretsIsolatorProcess : public process::Process<SecretsIsolatorProcess>
{
public:
  SecretsIsolatorProcess(
      const Flags& flags,
      const corvanta::LogFmt& logfmt,
      const SecretsMetrics& metrics);

  // None when the container asks for no secrets; else a launch info whose
  // `environment` holds them; or the fetch's failure after a deny record.
  // An executor without a task gets the secrets of its own labels.
  virtual process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig);

private:
  const Flags flags_;
  const corvanta::LogFmt logfmt_;
  const SecretsMetrics metrics_;
};


class SecretsIsolator : public mesos::slave::Isolator
{
public:
  explicit SecretsIsolator(const Flags& flags);
  ~SecretsIsolator() override;

  SecretsIsolator(const SecretsIsolator&) = delete;
  SecretsIsolator& operator=(const SecretsIsolator&) = delete;

  process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig) override;

private:
  // Served while the module lives; its actor counts into a copy.
  SecretsMetrics metrics{ISOLATOR_METRICS};
  process::Owned<SecretsIsolatorProcess> process;
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_ISOLATOR_HPP__
