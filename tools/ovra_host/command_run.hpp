#ifndef __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__
#define __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__

// Runs a container's command as a child process: in its sandbox, with
// exactly the environment given (nothing inherited), its output in the
// sandbox's "stdout" and "stderr" files, killed past a time limit.

#include <map>
#include <string>

#include <mesos/mesos.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace ovra_host {

// Where and as whom a command runs.
struct CommandPlace
{
  std::string sandbox;                // its working directory on the host
  // Where a Docker container sees the sandbox: the command runs there, in
  // a mount namespace of its own, when the host may make one (root);
  // otherwise in the host path.
  Option<std::string> mappedSandbox;
  Option<std::string> user;           // runs as this user, else as the host
};


// The command's exit code (128 + the signal when a signal ended it); an
// error when it could not be started, its user is unknown, or it ran past
// `limit`.
Try<int> runCommand(
    const mesos::CommandInfo& command,
    const CommandPlace& place,
    const std::map<std::string, std::string>& environment,
    const Duration& limit);

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__
