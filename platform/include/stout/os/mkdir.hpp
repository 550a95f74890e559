#ifndef __STOUT_OS_MKDIR_HPP__
#define __STOUT_OS_MKDIR_HPP__

#include <errno.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include <stout/os/constants.hpp>

namespace os {

// Creates `directory` with mode 0755. Recursively, each prefix is created
// in turn and existing ones (even existing files) are accepted, so the call
// is idempotent. Errors are the bare strerror text.
inline Try<Nothing> mkdir(const std::string& directory, bool recursive = true)
{
  if (!recursive) {
    if (::mkdir(directory.c_str(), 0755) < 0) {
      return ErrnoError();
    }
    return Nothing();
  }

  std::string path = strings::startsWith(directory, os::PATH_SEPARATOR)
    ? std::string(1, os::PATH_SEPARATOR)
    : std::string();

  for (const std::string& token :
       strings::tokenize(directory, std::string(1, os::PATH_SEPARATOR))) {
    path += token;
    if (::mkdir(path.c_str(), 0755) < 0 && errno != EEXIST) {
      return ErrnoError();
    }
    path += os::PATH_SEPARATOR;
  }

  return Nothing();
}

} // namespace os

#endif // __STOUT_OS_MKDIR_HPP__
