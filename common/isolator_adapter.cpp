#include "common/isolator_adapter.hpp"

#include <process/dispatch.hpp>

using mesos::ContainerID;
using mesos::ContainerStatus;
using mesos::ResourceStatistics;
using mesos::Resources;

using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;
using mesos::slave::ContainerLimitation;
using mesos::slave::ContainerState;

using process::Future;
using process::Owned;

namespace corvanta {

Future<Nothing> IsolatorProcess::recover(
    const std::list<ContainerState>&,
    const hashset<ContainerID>&)
{
  return Nothing();
}


Future<Option<ContainerLaunchInfo>> IsolatorProcess::prepare(
    const ContainerID&,
    const ContainerConfig&)
{
  return None();
}


Future<Nothing> IsolatorProcess::isolate(const ContainerID&, pid_t)
{
  return Nothing();
}


// A limitation that never comes.
Future<ContainerLimitation> IsolatorProcess::watch(const ContainerID&)
{
  return Future<ContainerLimitation>();
}


Future<Nothing> IsolatorProcess::update(const ContainerID&, const Resources&)
{
  return Nothing();
}


Future<ResourceStatistics> IsolatorProcess::usage(const ContainerID&)
{
  return ResourceStatistics();
}


Future<ContainerStatus> IsolatorProcess::status(const ContainerID&)
{
  return ContainerStatus();
}


Future<Nothing> IsolatorProcess::cleanup(const ContainerID&)
{
  return Nothing();
}


IsolatorAdapter::IsolatorAdapter(Owned<IsolatorProcess> process)
  : process_(process)
{
  process::spawn(process_.get());
}


IsolatorAdapter::~IsolatorAdapter()
{
  process::terminate(process_.get());
  process::wait(process_.get());
}


Future<Nothing> IsolatorAdapter::recover(
    const std::list<ContainerState>& states,
    const hashset<ContainerID>& orphans)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::recover, states, orphans);
}


Future<Option<ContainerLaunchInfo>> IsolatorAdapter::prepare(
    const ContainerID& containerId,
    const ContainerConfig& containerConfig)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::prepare, containerId, containerConfig);
}


Future<Nothing> IsolatorAdapter::isolate(
    const ContainerID& containerId,
    pid_t pid)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::isolate, containerId, pid);
}


Future<ContainerLimitation> IsolatorAdapter::watch(
    const ContainerID& containerId)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::watch, containerId);
}


Future<Nothing> IsolatorAdapter::update(
    const ContainerID& containerId,
    const Resources& resources)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::update, containerId, resources);
}


Future<ResourceStatistics> IsolatorAdapter::usage(
    const ContainerID& containerId)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::usage, containerId);
}


Future<ContainerStatus> IsolatorAdapter::status(
    const ContainerID& containerId)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::status, containerId);
}


Future<Nothing> IsolatorAdapter::cleanup(const ContainerID& containerId)
{
  return process::dispatch(
      process_.get(), &IsolatorProcess::cleanup, containerId);
}

} // namespace corvanta {
