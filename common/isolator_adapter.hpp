#ifndef __COMMON_ISOLATOR_ADAPTER_HPP__
#define __COMMON_ISOLATOR_ADAPTER_HPP__

// An isolator module as Mesos builds its own isolators: a façade that
// dispatches every Isolator call to an actor, whose calls answer as
// Isolator's defaults do until a module overrides the ones it acts on.
// The façade starts the actor and, when destroyed, ends it and waits for
// it, so that no call of the actor outlives the module.

#include <list>

#include <mesos/mesos.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/hashset.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>

namespace corvanta {

class IsolatorProcess : public process::Process<IsolatorProcess>
{
public:
  ~IsolatorProcess() override {}

  virtual process::Future<Nothing> recover(
      const std::list<mesos::slave::ContainerState>& states,
      const hashset<mesos::ContainerID>& orphans);

  virtual process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig);

  virtual process::Future<Nothing> isolate(
      const mesos::ContainerID& containerId,
      pid_t pid);

  virtual process::Future<mesos::slave::ContainerLimitation> watch(
      const mesos::ContainerID& containerId);

  virtual process::Future<Nothing> update(
      const mesos::ContainerID& containerId,
      const mesos::Resources& resources);

  virtual process::Future<mesos::ResourceStatistics> usage(
      const mesos::ContainerID& containerId);

  virtual process::Future<mesos::ContainerStatus> status(
      const mesos::ContainerID& containerId);

  virtual process::Future<Nothing> cleanup(
      const mesos::ContainerID& containerId);
};


class IsolatorAdapter : public mesos::slave::Isolator
{
public:
  explicit IsolatorAdapter(process::Owned<IsolatorProcess> process);
  ~IsolatorAdapter() override;

  IsolatorAdapter(const IsolatorAdapter&) = delete;
  IsolatorAdapter& operator=(const IsolatorAdapter&) = delete;

  process::Future<Nothing> recover(
      const std::list<mesos::slave::ContainerState>& states,
      const hashset<mesos::ContainerID>& orphans) override;

  process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      const mesos::ContainerID& containerId,
      const mesos::slave::ContainerConfig& containerConfig) override;

  process::Future<Nothing> isolate(
      const mesos::ContainerID& containerId,
      pid_t pid) override;

  process::Future<mesos::slave::ContainerLimitation> watch(
      const mesos::ContainerID& containerId) override;

  process::Future<Nothing> update(
      const mesos::ContainerID& containerId,
      const mesos::Resources& resources) override;

  process::Future<mesos::ResourceStatistics> usage(
      const mesos::ContainerID& containerId) override;

  process::Future<mesos::ContainerStatus> status(
      const mesos::ContainerID& containerId) override;

  process::Future<Nothing> cleanup(
      const mesos::ContainerID& containerId) override;

private:
  process::Owned<IsolatorProcess> process_;
};

} // namespace corvanta {

#endif // __COMMON_ISOLATOR_ADAPTER_HPP__
