#include "ssl_exec/sandbox_files.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <random>
#include <utility>

#include <stout/error.hpp>
#include <stout/os/strerror.hpp>
#include <stout/path.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "ssl_exec/assets.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

namespace {

// Why `name` in the folder `folderFd` could not be opened as a directory,
// `errorNumber` being open's errno; `path` names it in the message.
std::string notADirectory(
    int folderFd,
    const std::string& name,
    const std::string& path,
    int errorNumber)
{
  struct stat status;
  if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(status.st_mode)) {
      return "'" + path + "' is a symbolic link";
    }
    if (!S_ISDIR(status.st_mode)) {
      return "'" + path + "' is not a directory";
    }
  }
  return os::strerror(errorNumber);
}


struct Asset
{
  std::string content;
  mode_t mode;
};


// The content and permission bits of the regular file `source`, read
// whole; refused beyond MAX_ASSET_SIZE bytes.
Try<Asset> readAsset(const std::string& source)
{
  // O_NONBLOCK: a FIFO in the source's place must not hang the agent.
  Descriptor fd(
      ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    return Error("Failed to open source file '" + source + "': " + lastError());
  }

  struct stat status;
  if (::fstat(fd.get(), &status) != 0) {
    return Error("Failed to stat source file '" + source + "': " + lastError());
  }
  if (!S_ISREG(status.st_mode)) {
    return Error("Source file '" + source + "' is not a regular file");
  }

  const std::string tooLarge = "Source file '" + source + "' is larger than " +
                               stringify(MAX_ASSET_SIZE) + " bytes";
  if (static_cast<size_t>(status.st_size) > MAX_ASSET_SIZE) {
    return Error(tooLarge);
  }

  // One byte more than allowed tells a file that grew since fstat.
  std::string content(MAX_ASSET_SIZE + 1, '\0');
  size_t length = 0;
  while (length < content.size()) {
    const ssize_t count =
      ::read(fd.get(), &content[length], content.size() - length);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      return Error(
          "Failed to read source file '" + source + "': " + lastError());
    }
    if (count == 0) {
      break;
    }
    length += static_cast<size_t>(count);
  }
  if (length > MAX_ASSET_SIZE) {
    return Error(tooLarge);
  }
  content.resize(length);

  return Asset{std::move(content), static_cast<mode_t>(status.st_mode & 0777)};
}


Try<Nothing> writeAll(int fd, const std::string& content)
{
  size_t written = 0;
  while (written < content.size()) {
    const ssize_t count =
      ::write(fd, content.data() + written, content.size() - written);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count < 0) {
      return Error(lastError());
    }
    written += static_cast<size_t>(count);
  }
  return Nothing();
}


std::string temporaryName(const std::string& name)
{
  std::random_device random;
  return "." + name + ".tmp" + stringify(random()) + stringify(random());
}

} // namespace {


std::string lastError()
{
  return os::strerror(errno);
}


Try<Descriptor> openAssetFolder(
    int sandboxFd,
    const std::string& sandboxDirectory,
    const std::string& subfolder)
{
  Descriptor current(::fcntl(sandboxFd, F_DUPFD_CLOEXEC, 0));
  if (current.get() < 0) {
    return Error(lastError());
  }

  std::string walked = sandboxDirectory;
  for (const std::string& component : strings::tokenize(subfolder, "/")) {
    if (component == ".") {
      continue;
    }
    if (component == "..") {
      return Error("'..' would lead out of the sandbox");
    }

    walked = path::join(walked, component);

    if (::mkdirat(current.get(), component.c_str(), 0755) != 0 &&
        errno != EEXIST) {
      return Error(lastError());
    }

    Descriptor next(::openat(
        current.get(),
        component.c_str(),
        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) {
      return Error(notADirectory(current.get(), component, walked, errno));
    }
    current = std::move(next);
  }

  return current;
}


Try<Copy> copyInto(
    const std::string& source,
    int folderFd,
    const std::string& folder)
{
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) {
    return Error("Source file '" + source + "' not found");
  }

  if (::fstat(folderFd, &status) != 0 || status.st_nlink == 0) {
    return Error("Asset folder '" + folder + "' not found");
  }

  const std::string name = Path(source).basename();
  const std::string destination = path::join(folder, name);

  VLOG(1) << "Copying asset '" << source << "' to '" << destination << "'";

  const std::string failed =
    "Failed to copy file '" + source + "' to '" + destination + "': ";

  if (name.empty() || name == "." || name == ".." || name == "/") {
    return Error(failed + "the source names no file");
  }

  Try<Asset> asset = readAsset(source);
  if (asset.isError()) {
    return Error(failed + asset.error());
  }

  if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISLNK(status.st_mode)) {
    return Error(failed + "'" + destination + "' is a symbolic link");
  }

  std::string temporary;
  Descriptor fd;
  for (int attempt = 0; attempt < 8 && fd.get() < 0; ++attempt) {
    temporary = temporaryName(name);
    fd = Descriptor(::openat(
        folderFd,
        temporary.c_str(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
        asset->mode));
    if (fd.get() < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd.get() < 0) {
    return Error(failed + lastError());
  }

  Try<Nothing> written = writeAll(fd.get(), asset->content);
  if (written.isError()) {
    ::unlinkat(folderFd, temporary.c_str(), 0);
    return Error(failed + written.error());
  }

  if (::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0) {
    const std::string error = lastError();
    ::unlinkat(folderFd, temporary.c_str(), 0);
    return Error(failed + error);
  }

  return Copy{destination, std::move(fd)};
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
