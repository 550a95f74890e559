#ifndef __STOUT_OS_SYSTEM_HPP__
#define __STOUT_OS_SYSTEM_HPP__

#include <errno.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace os {

// Runs `command` with "sh -c" and waits for it. Returns the raw wait status
// (decode with WIFEXITED/WEXITSTATUS: exit code 1 gives 256), or -1 if the
// fork or the wait fails. A child that cannot exec the shell exits with 127.
inline int system(const std::string& command)
{
  const pid_t pid = ::fork();

  if (pid == -1) {
    return -1;
  }

  if (pid == 0) {
    ::execlp("sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    // _exit: the child must not run the parent's atexit handlers.
    ::_exit(127);
  }

  int status;
  while (::waitpid(pid, &status, 0) == -1) {
    if (errno != EINTR) {
      return -1;
    }
  }

  return status;
}

} // namespace os

#endif // __STOUT_OS_SYSTEM_HPP__
