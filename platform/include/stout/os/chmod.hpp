#ifndef __STOUT_OS_CHMOD_HPP__
#define __STOUT_OS_CHMOD_HPP__

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace os {

// The error is the bare strerror text.
inline Try<Nothing> chmod(const std::string& path, int mode)
{
  if (::chmod(path.c_str(), static_cast<mode_t>(mode)) < 0) {
    return ErrnoError();
  }
  return Nothing();
}

} // namespace os

#endif // __STOUT_OS_CHMOD_HPP__
