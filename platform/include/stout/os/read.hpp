#ifndef __STOUT_OS_READ_HPP__
#define __STOUT_OS_READ_HPP__

#include <stdio.h>

#include <string>

#include <stout/error.hpp>
#include <stout/try.hpp>

namespace os {

// The whole content of a file. Fails with "Failed to open file: <strerror>"
// when the file cannot be opened, or the bare strerror when reading fails.
inline Try<std::string> read(const std::string& path)
{
  FILE* file = ::fopen(path.c_str(), "re");
  if (file == nullptr) {
    return ErrnoError("Failed to open file");
  }

  std::string result;
  char buffer[BUFSIZ];
  while (true) {
    const size_t length = ::fread(buffer, 1, sizeof(buffer), file);
    if (::ferror(file)) {
      ErrnoError error;
      ::fclose(file);
      return error;
    }

    result.append(buffer, length);

    if (length < sizeof(buffer)) {
      break;
    }
  }

  ::fclose(file);
  return result;
}

} // namespace os

#endif // __STOUT_OS_READ_HPP__
