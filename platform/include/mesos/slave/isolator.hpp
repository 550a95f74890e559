#ifndef __MESOS_SLAVE_ISOLATOR_HPP__
#define __MESOS_SLAVE_ISOLATOR_HPP__

// An isolator takes part in each container's life on the agent: it prepares
// the launch, isolates the process, watches for limits, reports usage and
// cleans up. Every step has a default that does nothing, so a module
// overrides only the steps it needs.

#include <sys/types.h>

#include <list>

#include <mesos/mesos.hpp>
#include <mesos/resources.hpp>
#include <mesos/type_utils.hpp>

#include <mesos/slave/containerizer.hpp>

#include <process/future.hpp>

#include <stout/hashset.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>

namespace mesos {
namespace slave {

class Isolator
{
public:
  virtual ~Isolator() {}

  // Nested containers reach only isolators that opt in here.
  virtual bool supportsNesting()
  {
    return false;
  }

  // Recovers the containers the agent checkpointed (`states`) and those
  // only the launcher knows of (`orphans`).
  virtual process::Future<Nothing> recover(
      const std::list<ContainerState>& /* states */,
      const hashset<ContainerID>& /* orphans */)
  {
    return Nothing();
  }

  // Before the launch: may return what the launch needs (commands to run in
  // the container's context, environment, namespaces).
  virtual process::Future<Option<ContainerLaunchInfo>> prepare(
      const ContainerID& /* containerId */,
      const ContainerConfig& /* containerConfig */)
  {
    return Option<ContainerLaunchInfo>::none();
  }

  virtual process::Future<Nothing> isolate(
      const ContainerID& /* containerId */,
      pid_t /* pid */)
  {
    return Nothing();
  }

  // Completes if a resource limit hits the container; by default never.
  virtual process::Future<ContainerLimitation> watch(
      const ContainerID& /* containerId */)
  {
    return process::Future<ContainerLimitation>();
  }

  virtual process::Future<Nothing> update(
      const ContainerID& /* containerId */,
      const Resources& /* resources */)
  {
    return Nothing();
  }

  virtual process::Future<ResourceStatistics> usage(
      const ContainerID& /* containerId */)
  {
    return ResourceStatistics();
  }

  virtual process::Future<ContainerStatus> status(
      const ContainerID& /* containerId */)
  {
    return ContainerStatus();
  }

  // After every process of the container has ended. May come for a
  // container this isolator does not know (ignore it), never twice, and
  // after prepare() if that was called.
  virtual process::Future<Nothing> cleanup(
      const ContainerID& /* containerId */)
  {
    return Nothing();
  }
};

} // namespace slave {
} // namespace mesos {

#endif // __MESOS_SLAVE_ISOLATOR_HPP__
