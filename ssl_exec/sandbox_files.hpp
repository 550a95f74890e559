#ifndef __SSL_EXEC_SANDBOX_FILES_HPP__
#define __SSL_EXEC_SANDBOX_FILES_HPP__

// Files in a sandbox that belongs to the task's user, reached through
// descriptors: folders opened without following links, and copies written
// to fresh files and renamed into place.

#include <unistd.h>

#include <string>

#include <stout/try.hpp>

namespace corvanta {
namespace ovra {
namespace ssl_executor {

// An open file descriptor, closed when the object goes.
class Descriptor
{
public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }

  Descriptor(Descriptor&& that) noexcept : fd_(that.fd_) { that.fd_ = -1; }
  Descriptor& operator=(Descriptor&& that) noexcept
  {
    if (this != &that) {
      reset();
      fd_ = that.fd_;
      that.fd_ = -1;
    }
    return *this;
  }

  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }

private:
  void reset()
  {
    if (fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }

  int fd_;
};


// The text of the last system call's errno.
std::string lastError();


// The asset folder `subfolder` under the open sandbox, made one component
// at a time (mode 0755 less the umask, as a recursive mkdir does) and
// opened without following links. An existing folder is used as it is.
Try<Descriptor> openAssetFolder(
    int sandboxFd,
    const std::string& sandboxDirectory,
    const std::string& subfolder);


struct Copy
{
  std::string path;
  Descriptor fd;     // the copy, open for its change of owner
};


// Copies `source` into the open folder `folderFd` (named `folder` in
// messages). The copy is written to a fresh file of its own, made with
// O_EXCL and O_NOFOLLOW, then renamed over the destination: an existing
// entry of that name (a hard link, a FIFO) is replaced, never opened.
Try<Copy> copyInto(
    const std::string& source,
    int folderFd,
    const std::string& folder);

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_SANDBOX_FILES_HPP__
