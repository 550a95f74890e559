#include "tools/ovra_host/command_run.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <stout/error.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

namespace ovra_host {

namespace {

struct Identity
{
  uid_t uid;
  gid_t gid;
  std::vector<gid_t> groups;
};


Try<Identity> identityOf(const std::string& user)
{
  std::vector<char> buffer(16384);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(),
                   &found) != 0 || found == nullptr) {
    return Error("Failed to find user '" + user + "'");
  }

  Identity identity{found->pw_uid, found->pw_gid, std::vector<gid_t>(64)};
  int count = static_cast<int>(identity.groups.size());
  if (::getgrouplist(user.c_str(), identity.gid, identity.groups.data(),
                     &count) < 0) {
    count = static_cast<int>(identity.groups.size());
  }
  identity.groups.resize(static_cast<size_t>(count));
  return identity;
}


// In the child: a private mount namespace where the last of `folders`
// shows `sandbox`; a tmpfs over the first holds the others. The sandbox is
// opened before the tmpfs can hide it. False when the host may not do it.
// Only async-signal-safe calls.
bool mapSandbox(const char* sandbox, const std::vector<std::string>& folders)
{
  if (folders.empty() || ::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return false;
  }

  const int fd = ::open(sandbox, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  char source[32] = "/proc/self/fd/";
  char digits[12];
  int count = 0;
  for (int value = fd; value > 0 || count == 0; value /= 10) {
    digits[count++] = static_cast<char>('0' + value % 10);
  }
  size_t end = strlen(source);
  while (count > 0) {
    source[end++] = digits[--count];
  }
  source[end] = '\0';

  if (::mount("tmpfs", folders[0].c_str(), "tmpfs", 0, "mode=0755") != 0) {
    return false;
  }
  for (size_t i = 1; i < folders.size(); ++i) {
    if (::mkdir(folders[i].c_str(), 0755) != 0) {
      return false;
    }
  }
  return ::mount(source, folders.back().c_str(), nullptr, MS_BIND, nullptr) ==
         0;
}

} // namespace {


Try<int> runCommand(
    const mesos::CommandInfo& command,
    const CommandPlace& place,
    const std::map<std::string, std::string>& environment,
    const Duration& limit)
{
  const std::string& sandbox = place.sandbox;

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

  Option<Identity> identity;
  if (place.user.isSome()) {
    Try<Identity> found = identityOf(place.user.get());
    if (found.isError()) {
      return Error(found.error());
    }
    identity = found.get();
  }

  // "/mnt/mesos/sandbox" needs "/mnt" (the tmpfs), "/mnt/mesos" and itself.
  std::vector<std::string> folders;
  if (place.mappedSandbox.isSome()) {
    std::string folder;
    for (const std::string& part : strings::tokenize(place.mappedSandbox.get(), "/")) {
      folder += "/" + part;
      folders.push_back(folder);
    }
  }
  const std::string workingDirectory = place.mappedSandbox.getOrElse(sandbox);

  const pid_t pid = ::fork();
  if (pid < 0) {
    return ErrnoError("Failed to fork");
  }

  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    const int stdoutFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int stderrFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = ::open("/dev/null", O_RDONLY);
    if (stdoutFd < 0 || stderrFd < 0 || null < 0) {
      ::_exit(127);
    }
    const bool mapped = mapSandbox(sandbox.c_str(), folders);
    if (::chdir(mapped ? workingDirectory.c_str() : sandbox.c_str()) != 0) {
      ::_exit(127);
    }
    if (identity.isSome() &&
        (::setgroups(identity->groups.size(), identity->groups.data()) != 0 ||
         ::setgid(identity->gid) != 0 || ::setuid(identity->uid) != 0)) {
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
