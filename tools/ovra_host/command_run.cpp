#include "tools/ovra_host/command_run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <stout/error.hpp>
#include <stout/stringify.hpp>

namespace ovra_host {

Try<int> runCommand(
    const mesos::CommandInfo& command,
    const std::string& sandbox,
    const std::map<std::string, std::string>& environment,
    const Duration& limit)
{
  if (!command.has_value()) {
    return Error("The command has no value");
  }

  // A shell command runs through /bin/sh; another runs `value` with its
  // `arguments` (the first of which is argv[0]).
  std::vector<std::string> argv;
  std::string path;
  if (command.shell()) {
    path = "/bin/sh";
    argv = {"sh", "-c", command.value()};
  } else {
    path = command.value();
    argv.assign(command.arguments().begin(), command.arguments().end());
    if (argv.empty()) {
      argv.push_back(path);
    }
  }

  std::vector<std::string> entries;
  for (const auto& [name, value] : environment) {
    entries.push_back(name + "=" + value);
  }

  // Everything the child needs is made before fork().
  std::vector<char*> args;
  for (std::string& arg : argv) {
    args.push_back(&arg[0]);
  }
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : entries) {
    envp.push_back(&entry[0]);
  }
  envp.push_back(nullptr);

  const std::string out = sandbox + "/stdout";
  const std::string err = sandbox + "/stderr";

  const pid_t pid = ::fork();
  if (pid < 0) {
    return ErrnoError("Failed to fork");
  }

  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    const int stdoutFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int stderrFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_RDONLY);
    if (stdoutFd < 0 || stderrFd < 0 || null < 0 || ::chdir(sandbox.c_str()) != 0) {
      ::_exit(127);
    }
    ::dup2(null, STDIN_FILENO);
    ::dup2(stdoutFd, STDOUT_FILENO);
    ::dup2(stderrFd, STDERR_FILENO);
    ::execve(path.c_str(), args.data(), envp.data());
    ::_exit(127);
  }

  // Waits on the child's pid descriptor, so the time limit needs no
  // polling loop.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd ready = {pidfd, POLLIN, 0};
    const int milliseconds = static_cast<int>(limit.ms());
    const int polled = ::poll(&ready, 1, milliseconds);
    ::close(pidfd);
    if (polled == 0) {
      ::kill(pid, SIGKILL);
      int status;
      ::waitpid(pid, &status, 0);
      return Error("The command ran longer than " + stringify(limit));
    }
  }

  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) {
    return ErrnoError("Failed to wait for the command");
  }

  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

} // namespace ovra_host {
