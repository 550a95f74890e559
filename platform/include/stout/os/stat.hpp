#ifndef __STOUT_OS_STAT_HPP__
#define __STOUT_OS_STAT_HPP__

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include <stout/error.hpp>
#include <stout/try.hpp>

namespace os {
namespace stat {

// isdir and isfile follow symbolic links; islink does not. A path that
// cannot be stat'ed is none of them.
inline bool isdir(const std::string& path)
{
  struct ::stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}


inline bool isfile(const std::string& path)
{
  struct ::stat s;
  return ::stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}


inline bool islink(const std::string& path)
{
  struct ::stat s;
  return ::lstat(path.c_str(), &s) == 0 && S_ISLNK(s.st_mode);
}


enum FollowSymlink
{
  DO_NOT_FOLLOW_SYMLINK,
  FOLLOW_SYMLINK
};


// The st_mode of `path` (type and permission bits).
inline Try<mode_t> mode(const std::string& path)
{
  struct ::stat s;
  if (::stat(path.c_str(), &s) < 0) {
    return ErrnoError("Error invoking stat for '" + path + "'");
  }
  return s.st_mode;
}


inline Try<uid_t> uid(
    const std::string& path,
    const FollowSymlink follow = FOLLOW_SYMLINK)
{
  struct ::stat s;
  const int result = follow == FOLLOW_SYMLINK
    ? ::stat(path.c_str(), &s)
    : ::lstat(path.c_str(), &s);
  if (result < 0) {
    return ErrnoError("Error invoking stat for '" + path + "'");
  }
  return s.st_uid;
}

} // namespace stat
} // namespace os

#endif // __STOUT_OS_STAT_HPP__
