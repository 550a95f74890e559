#ifndef __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__
#define __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__

// Runs a container's command as a child process: in its sandbox, with
// exactly the environment given (nothing inherited), its output in the
// sandbox's "stdout" and "stderr" files, killed past a time limit.

#include <map>
#include <string>

#include <mesos/mesos.hpp>

#include <stout/duration.hpp>
#include <stout/try.hpp>

namespace ovra_host {

// The command's exit code (128 + the signal when a signal ended it); an
// error when it could not be started or ran past `limit`.
Try<int> runCommand(
    const mesos::CommandInfo& command,
    const std::string& sandbox,
    const std::map<std::string, std::string>& environment,
    const Duration& limit);

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_COMMAND_RUN_HPP__
