#include "tools/ovra_host/container_launch.hpp"

#include <filesystem>
#include <list>
#include <random>
#include <system_error>

#include <glog/logging.h>

#include <mesos/module/hook.pb.h>

#include <process/collect.hpp>
#include <process/future.hpp>

#include <stout/json.hpp>
#include <stout/os.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel/bounded_json.hpp"

#include "tools/ovra_host/command_run.hpp"

using mesos::CommandInfo;
using mesos::DockerTaskExecutorPrepareInfo;
using mesos::Environment;
using mesos::ExecutorInfo;
using mesos::TaskInfo;
using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Future;

namespace ovra_host {

namespace {

typedef std::map<std::string, std::string> Variables;

// Where a Docker container sees its sandbox (the agent's default
// --sandbox_directory).
constexpr char MAPPED_SANDBOX[] = "/mnt/mesos/sandbox";

// How long a module may take over its part of a launch.
const Duration MODULE_LIMIT = Seconds(60);

// How much of the command's output the outcome holds.
constexpr size_t OUTPUT_LIMIT = 64 * 1024;


std::string randomId()
{
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) {
    char buffer[9];
    snprintf(buffer, sizeof(buffer), "%08x", random());
    id += buffer;
  }
  return id;
}


// `variables` with `environment`'s entries over them, as Mesos logs it.
void overwrite(Variables* variables, const Environment& environment)
{
  for (const Environment::Variable& variable : environment.variables()) {
    auto existing = variables->find(variable.name());
    if (existing != variables->end() && existing->second != variable.value()) {
      // The value can be a secret: only the name is logged.
      LOG(INFO) << "Overwriting environment variable '" << variable.name()
                << "'";
    }
    (*variables)[variable.name()] = variable.value();
  }
}


// Only the names `variables` lacks.
void addMissing(Variables* variables, const Environment& environment)
{
  for (const Environment::Variable& variable : environment.variables()) {
    variables->emplace(variable.name(), variable.value());
  }
}


template <typename T>
Try<T> awaitModule(const Future<T>& future, const std::string& what)
{
  if (!future.await(MODULE_LIMIT)) {
    return Error(what + " did not answer within " + stringify(MODULE_LIMIT));
  }
  if (future.isFailed()) {
    return Error(future.failure());
  }
  if (future.isDiscarded()) {
    return Error(what + " was discarded");
  }
  return future.get();
}


// The agent's environment of an executor: its ids, paths and pids, then
// what the hooks add to it.
Variables agentEnvironment(
    const Agent& agent,
    const ExecutorInfo& executor,
    const std::string& sandbox)
{
  Variables variables = {
    {"LIBPROCESS_PORT", "0"},
    {"MESOS_AGENT_ENDPOINT", agent.pid.substr(agent.pid.find('@') + 1)},
    {"MESOS_CHECKPOINT", "0"},
    {"MESOS_DIRECTORY", sandbox},
    {"MESOS_EXECUTOR_ID", executor.executor_id().value()},
    {"MESOS_FRAMEWORK_ID", executor.framework_id().value()},
    {"MESOS_HTTP_COMMAND_EXECUTOR", "0"},
    {"MESOS_SLAVE_ID", agent.id},
    {"MESOS_SLAVE_PID", agent.pid},
  };

  for (mesos::Hook* hook : agent.hooks) {
    Result<Environment> decorated =
      hook->slaveExecutorEnvironmentDecorator(executor);
    if (decorated.isError()) {
      LOG(WARNING) << "A hook failed to decorate the executor's environment: "
                   << decorated.error();
    } else if (decorated.isSome()) {
      overwrite(&variables, decorated.get());
    }
  }

  return variables;
}


LaunchOutcome failed(LaunchOutcome outcome, const std::string& failure)
{
  outcome.state = "TASK_FAILED";
  outcome.reason = "REASON_CONTAINER_LAUNCH_FAILED";
  outcome.message = "Failed to launch container: " + failure;
  return outcome;
}


// The environment of the Mesos containerizer's launch: agent, sandbox,
// each isolator in order, then the executor's own command (the framework
// beats the isolators).
Try<Variables> mesosEnvironment(
    const Agent& agent,
    const ContainerConfig& config,
    const mesos::ContainerID& containerId)
{
  Variables variables =
    agentEnvironment(agent, config.executor_info(), config.directory());
  variables["MESOS_SANDBOX"] = config.directory();

  // Each isolator prepares in turn; the first failure fails the launch.
  for (mesos::slave::Isolator* isolator : agent.isolators) {
    Try<Option<ContainerLaunchInfo>> info =
      awaitModule(isolator->prepare(containerId, config), "An isolator");
    if (info.isError()) {
      return Error(info.error());
    }
    if (info->isSome() && info->get().has_environment()) {
      overwrite(&variables, info->get().environment());
    }
  }

  overwrite(&variables, config.command_info().environment());
  return variables;
}


// The environment of the Docker containerizer's launch, as the task (or
// the custom executor) sees it inside its container.
Try<Variables> dockerEnvironment(
    const Agent& agent,
    const LaunchRequest& request,
    const ExecutorInfo& executor,
    const std::string& sandbox,
    const std::string& containerName)
{
  Variables executorVariables = agentEnvironment(agent, executor, sandbox);

  std::list<Future<Option<DockerTaskExecutorPrepareInfo>>> decorations;
  for (mesos::Hook* hook : agent.hooks) {
    decorations.push_back(hook->slavePreLaunchDockerTaskExecutorDecorator(
        request.task, executor, containerName, sandbox, MAPPED_SANDBOX,
        executorVariables));
  }

  Try<std::list<Option<DockerTaskExecutorPrepareInfo>>> prepared =
    awaitModule(process::collect(decorations), "A hook");
  if (prepared.isError()) {
    return Error(prepared.error());
  }

  Variables taskVariables;
  for (const Option<DockerTaskExecutorPrepareInfo>& info : prepared.get()) {
    if (info.isNone()) {
      continue;
    }
    overwrite(&executorVariables, info->executorenvironment());
    overwrite(&taskVariables, info->taskenvironment());
  }

  Variables variables;
  if (request.task.isSome() && !request.task->has_executor()) {
    // The hooks' task environment comes first; the task's own entries only
    // add names it lacks.
    variables = taskVariables;
    addMissing(&variables, request.task->command().environment());
  } else {
    variables = executorVariables;
    for (const auto& [name, value] : taskVariables) {
      variables[name] = value;
    }
    addMissing(&variables, executor.command().environment());
  }

  variables["MESOS_SANDBOX"] = MAPPED_SANDBOX;
  variables["MESOS_CONTAINER_NAME"] = containerName;
  return variables;
}

} // namespace {


Try<LaunchRequest> parseLaunchRequest(const std::string& json)
{
  Try<JSON::Object> object = mesos::sentrel::parseJson<JSON::Object>(json);
  if (object.isError()) {
    return Error("The launch request is not a JSON object: " + object.error());
  }

  LaunchRequest request;

  Result<JSON::String> containerizer =
    object->at<JSON::String>("containerizer");
  if (containerizer.isError()) {
    return Error("'containerizer' must be \"mesos\" or \"docker\"");
  }
  if (containerizer.isSome()) {
    if (containerizer->value != "mesos" && containerizer->value != "docker") {
      return Error("'containerizer' must be \"mesos\" or \"docker\"");
    }
    request.docker = containerizer->value == "docker";
  }

  Result<JSON::Object> task = object->at<JSON::Object>("task");
  if (task.isError()) {
    return Error("'task' must be a mesos.TaskInfo object");
  }
  if (task.isSome()) {
    Try<TaskInfo> parsed = protobuf::parse<TaskInfo>(task.get());
    if (parsed.isError()) {
      return Error("Invalid 'task': " + parsed.error());
    }
    request.task = parsed.get();
  }

  Result<JSON::Object> executor = object->at<JSON::Object>("executor");
  if (executor.isError()) {
    return Error("'executor' must be a mesos.ExecutorInfo object");
  }
  if (executor.isSome()) {
    Try<ExecutorInfo> parsed = protobuf::parse<ExecutorInfo>(executor.get());
    if (parsed.isError()) {
      return Error("Invalid 'executor': " + parsed.error());
    }
    request.executor = parsed.get();
  }

  if (request.task.isNone() && request.executor.isNone()) {
    return Error("The launch request has neither 'task' nor 'executor'");
  }

  if (request.task.isSome() && request.task->has_executor() &&
      request.executor.isSome()) {
    return Error("Give the executor in 'task' or in 'executor', not both");
  }

  return request;
}


LaunchOutcome launch(const Agent& agent, const LaunchRequest& request)
{
  mesos::ContainerID containerId;
  containerId.set_value(randomId());

  LaunchOutcome outcome;
  outcome.sandbox = agent.workDir + "/containers/" + containerId.value();

  std::error_code error;
  std::filesystem::create_directories(outcome.sandbox, error);
  if (error) {
    return failed(
        outcome, "Failed to create the sandbox '" + outcome.sandbox + "': " +
                 error.message());
  }

  // The executor: the task's or the one given; for a command task, one the
  // agent makes, without labels, running the task's command.
  const bool commandTask =
    request.task.isSome() && !request.task->has_executor();
  ExecutorInfo executor;
  if (commandTask) {
    executor.mutable_executor_id()->set_value(request.task->task_id().value());
    executor.set_name(
        "Command Executor (Task: " + request.task->task_id().value() + ")");
    executor.mutable_command()->CopyFrom(request.task->command());
  } else if (request.task.isSome()) {
    executor = request.task->executor();
  } else {
    executor = request.executor.get();
  }
  if (!executor.has_framework_id()) {
    executor.mutable_framework_id()->set_value("framework-1");
  }

  // As the agent does with --switch_user: the sandbox belongs to the user
  // the executor runs as.
  if (executor.command().has_user()) {
    Try<Nothing> chowned =
      os::chown(executor.command().user(), outcome.sandbox, true);
    if (chowned.isError()) {
      return failed(
          outcome, "Failed to chown the sandbox '" + outcome.sandbox +
                   "' to user '" + executor.command().user() + "': " +
                   chowned.error());
    }
  }

  ContainerConfig config;
  config.mutable_executor_info()->CopyFrom(executor);
  if (commandTask) {
    config.mutable_task_info()->CopyFrom(request.task.get());
  }
  config.mutable_command_info()->CopyFrom(executor.command());
  config.set_directory(outcome.sandbox);
  if (executor.command().has_user()) {
    config.set_user(executor.command().user());
  }

  const std::string containerName = "mesos-" + agent.id + "." + containerId.value();

  Try<Variables> environment = request.docker
    ? dockerEnvironment(agent, request, executor, outcome.sandbox, containerName)
    : mesosEnvironment(agent, config, containerId);
  if (environment.isError()) {
    return failed(outcome, environment.error());
  }

  // Nothing is inherited from the agent; PATH gets Mesos's default.
  environment->emplace(
      "PATH", "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin");
  outcome.environment = environment.get();

  CommandPlace place;
  place.sandbox = outcome.sandbox;
  if (request.docker) {
    place.mappedSandbox = std::string(MAPPED_SANDBOX);
  }
  if (config.has_user()) {
    place.user = config.user();
  }

  Try<int> exitCode = runCommand(
      config.command_info(), place, environment.get(), agent.commandLimit);
  if (exitCode.isError()) {
    outcome.state = "TASK_FAILED";
    outcome.message = exitCode.error();
    return outcome;
  }

  outcome.exitCode = exitCode.get();
  outcome.state = exitCode.get() == 0 ? "TASK_FINISHED" : "TASK_FAILED";
  if (exitCode.get() != 0) {
    outcome.message = "Command exited with status " + stringify(exitCode.get());
  }

  Try<std::string> output = os::read(outcome.sandbox + "/stdout");
  if (output.isSome()) {
    outcome.stdout = output->substr(0, OUTPUT_LIMIT);
  }

  return outcome;
}

} // namespace ovra_host {
