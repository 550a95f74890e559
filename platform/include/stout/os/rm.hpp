#ifndef __STOUT_OS_RM_HPP__
#define __STOUT_OS_RM_HPP__

#include <stdio.h>

#include <string>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace os {

// Removes a file or an empty directory; the error is the bare strerror.
inline Try<Nothing> rm(const std::string& path)
{
  if (::remove(path.c_str()) != 0) {
    return ErrnoError();
  }
  return Nothing();
}

} // namespace os

#endif // __STOUT_OS_RM_HPP__
