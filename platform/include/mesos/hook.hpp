#ifndef __MESOS_HOOK_HPP__
#define __MESOS_HOOK_HPP__

// Hooks into the master's and the agent's task, executor and agent life
// cycle. Every hook has a default that changes nothing, so a module
// overrides only the hooks it needs. The decorators return None to leave
// the object as it is.

#include <map>
#include <string>

#include <mesos/attributes.hpp>
#include <mesos/mesos.hpp>
#include <mesos/resources.hpp>

#include <mesos/module/hook.pb.h>

#include <process/future.hpp>

#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>
#include <stout/try.hpp>

namespace mesos {

class Hook
{
public:
  virtual ~Hook() {}

  // Master, launching a task: the labels returned replace the task's.
  virtual Result<Labels> masterLaunchTaskLabelDecorator(
      const TaskInfo& /* taskInfo */,
      const FrameworkInfo& /* frameworkInfo */,
      const SlaveInfo& /* slaveInfo */)
  {
    return None();
  }

  // Agent, receiving a task to run: the labels returned replace the task's.
  virtual Result<Labels> slaveRunTaskLabelDecorator(
      const TaskInfo& /* taskInfo */,
      const ExecutorInfo& /* executorInfo */,
      const FrameworkInfo& /* frameworkInfo */,
      const SlaveInfo& /* slaveInfo */)
  {
    return None();
  }

  // Master, after the frameworks have been told that an agent is lost.
  virtual Try<Nothing> masterSlaveLostHook(const SlaveInfo& /* slaveInfo */)
  {
    return Nothing();
  }

  // Agent, launching an executor: the variables returned join the
  // executor's environment.
  virtual Result<Environment> slaveExecutorEnvironmentDecorator(
      const ExecutorInfo& /* executorInfo */)
  {
    return None();
  }

  // Agent, before the Docker containerizer launches a task: may add
  // environment variables for the executor and for the task (overriding
  // those in ExecutorInfo, and the last hook loaded wins), or fail the
  // future to fail the task with TASK_FAILED.
  virtual process::Future<Option<DockerTaskExecutorPrepareInfo>>
    slavePreLaunchDockerTaskExecutorDecorator(
        const Option<TaskInfo>& /* taskInfo */,
        const ExecutorInfo& /* executorInfo */,
        const std::string& /* containerName */,
        const std::string& /* containerWorkDirectory */,
        const std::string& /* mappedSandboxDirectory */,
        const Option<std::map<std::string, std::string>>& /* env */)
  {
    return Option<DockerTaskExecutorPrepareInfo>::none();
  }

  // Agent, after a container's URIs and image are fetched.
  virtual Try<Nothing> slavePostFetchHook(
      const ContainerID& /* containerId */,
      const std::string& /* directory */)
  {
    return Nothing();
  }

  // Agent, removing an executor.
  virtual Try<Nothing> slaveRemoveExecutorHook(
      const FrameworkInfo& /* frameworkInfo */,
      const ExecutorInfo& /* executorInfo */)
  {
    return Nothing();
  }

  // Agent, receiving a status update: the labels and container status of
  // the status returned replace the update's; its other fields are ignored.
  virtual Result<TaskStatus> slaveTaskStatusDecorator(
      const FrameworkID& /* frameworkId */,
      const TaskStatus& /* status */)
  {
    return None();
  }

  // Agent, starting: the resources returned replace those it advertises.
  virtual Result<Resources> slaveResourcesDecorator(
      const SlaveInfo& /* slaveInfo */)
  {
    return None();
  }

  // Agent, starting: the attributes returned replace those it advertises.
  virtual Result<Attributes> slaveAttributesDecorator(
      const SlaveInfo& /* slaveInfo */)
  {
    return None();
  }
};

} // namespace mesos {

#endif // __MESOS_HOOK_HPP__
