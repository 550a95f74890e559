#ifndef __STOUT_OS_EXISTS_HPP__
#define __STOUT_OS_EXISTS_HPP__

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace os {

// Whether `path` names anything, a dangling symbolic link included.
inline bool exists(const std::string& path)
{
  struct ::stat s;
  return ::lstat(path.c_str(), &s) == 0;
}


// Whether a process `pid` exists (even one we may not signal).
inline bool exists(pid_t pid)
{
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace os

#endif // __STOUT_OS_EXISTS_HPP__
