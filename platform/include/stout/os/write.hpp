#ifndef __STOUT_OS_WRITE_HPP__
#define __STOUT_OS_WRITE_HPP__

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace os {

// Writes all of `data` to `fd`, retrying on EINTR and short writes.
inline Try<Nothing> write(int fd, const std::string& data)
{
  size_t offset = 0;
  while (offset < data.size()) {
    const ssize_t length =
      ::write(fd, data.data() + offset, data.size() - offset);
    if (length < 0) {
      if (errno == EINTR) {
        continue;
      }
      return ErrnoError();
    }
    offset += static_cast<size_t>(length);
  }
  return Nothing();
}


// Replaces the content of the file at `path` (created with mode 0644).
inline Try<Nothing> write(const std::string& path, const std::string& message)
{
  const int fd = ::open(
      path.c_str(),
      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
      S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
  if (fd < 0) {
    return ErrnoError("Failed to open file '" + path + "'");
  }

  Try<Nothing> result = write(fd, message);
  ::close(fd);
  return result;
}


// Needed so that a string literal path does not pick the fd overload.
inline Try<Nothing> write(const char* path, const std::string& message)
{
  return write(std::string(path), message);
}

} // namespace os

#endif // __STOUT_OS_WRITE_HPP__
