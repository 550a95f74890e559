#ifndef __TOOLS_OVRA_HOST_CONTAINER_LAUNCH_HPP__
#define __TOOLS_OVRA_HOST_CONTAINER_LAUNCH_HPP__

// The agent's launch of one container, as Mesos 1.2.0's containerizers do
// it for the modules: a sandbox, the ContainerConfig, every isolator's
// prepare (Mesos containerizer) or every hook's Docker decorator (Docker
// containerizer), the environments merged in 1.2.0's order, and the
// command run as a child process in the sandbox.
//
// A launch request is JSON:
//
//   {"containerizer": "mesos" | "docker",           (default "mesos")
//    "task": <mesos.TaskInfo>,                      (optional)
//    "executor": <mesos.ExecutorInfo>}              (optional)
//
// A task without an executor is a command task: the agent makes its
// ExecutorInfo (without labels) and the isolators also get the TaskInfo.
// A task with an executor, or an executor alone, runs that executor.

#include <map>
#include <string>
#include <vector>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/slave/containerizer.hpp>
#include <mesos/slave/isolator.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace ovra_host {

struct LaunchRequest
{
  bool docker = false;
  Option<mesos::TaskInfo> task;
  Option<mesos::ExecutorInfo> executor;
};

Try<LaunchRequest> parseLaunchRequest(const std::string& json);


// What the launch came to, as a status update would say it.
struct LaunchOutcome
{
  std::string state;             // TASK_FINISHED or TASK_FAILED
  Option<std::string> reason;    // e.g. REASON_CONTAINER_LAUNCH_FAILED
  Option<std::string> message;
  Option<int> exitCode;
  std::string sandbox;
  std::string stdout;            // the command's output, cut at 64 KiB
  std::map<std::string, std::string> environment;
};


struct Agent
{
  std::string id;                // the agent's id
  std::string pid;               // slave(1)@<ip>:<port>
  std::string workDir;
  Duration commandLimit;         // how long the command may run
  std::vector<mesos::slave::Isolator*> isolators;  // in --isolation order
  std::vector<mesos::Hook*> hooks;                 // in load order
};


// Launches the container of `request` on `agent` and waits for its command
// to end; called outside actors, as it blocks. Every failure is a
// TASK_FAILED outcome with its message.
LaunchOutcome launch(const Agent& agent, const LaunchRequest& request);

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_CONTAINER_LAUNCH_HPP__
