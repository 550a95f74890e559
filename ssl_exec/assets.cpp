#include "ssl_exec/assets.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include <glog/logging.h>

#include <process/ssl/flags.hpp>

#include <stout/error.hpp>
#include <stout/path.hpp>

#include "ssl_exec/sandbox_files.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

bool needsSSLEnvironment()
{
  const process::network::openssl::Flags& ssl =
    process::network::openssl::flags();

  if (!ssl.enabled) {
    VLOG(1) << "Agent has SSL disabled, no need for any work here.";
    return false;
  }

  if (ssl.support_downgrade) {
    VLOG(1) << "Agent has SSL downgrading enabled, no need for any work here.";
    return false;
  }

  VLOG(1) << "Agent has strict SSL enabled, let's make sure the executor has "
          << "it enabled as well.";
  return true;
}


Try<Nothing> copySSLAssets(
    const Flags& flags,
    const std::string& sandboxDirectory)
{
  if (!path::absolute(sandboxDirectory)) {
    return Error(
        "Sandbox directory '" + sandboxDirectory + "' is not an absolute path");
  }

  struct stat status;
  if (::lstat(sandboxDirectory.c_str(), &status) != 0) {
    return Error(
        "Sandbox directory '" + sandboxDirectory + "' does not exist");
  }

  const std::string folder =
    path::join(sandboxDirectory, flags.sandbox_subfolder);
  const std::string createFailed =
    "Failed to create SSL asset sandbox subfolder '" + folder + "': ";

  // The sandbox itself may be a link that the agent made (Docker's path
  // without ':'), so it alone is opened following links.
  Descriptor sandbox(
      ::open(sandboxDirectory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (sandbox.get() < 0) {
    return Error(createFailed + lastError());
  }

  Try<Descriptor> assetFolder =
    openAssetFolder(sandbox.get(), sandboxDirectory, flags.sandbox_subfolder);
  if (assetFolder.isError()) {
    return Error(createFailed + assetFolder.error());
  }
  const int folderFd = assetFolder->get();

  if (::fstat(sandbox.get(), &status) != 0) {
    return Error(
        "Failed to get permissions on '" + sandboxDirectory + "': " +
        lastError());
  }

  if (::fchmod(folderFd, status.st_mode & 07777) != 0) {
    return Error(
        "Failed to chmod SSL assets folder at '" + folder + "': " +
        lastError());
  }

  const std::string chownFailed =
    "Failed to chown SSL assets folder at '" + folder + "': ";

  if (::fchown(folderFd, status.st_uid, status.st_gid) != 0) {
    return Error(chownFailed + lastError());
  }

  const std::pair<const char*, const std::string*> assets[] = {
    {"Failed to copy CA certificate: ", &flags.ca_file},
    {"Failed to copy certificate: ", &flags.cert_file},
    {"Failed to copy private key: ", &flags.key_file},
  };

  std::vector<Copy> copies;
  for (const auto& [failure, source] : assets) {
    Try<Copy> copy = copyInto(*source, folderFd, folder);
    if (copy.isError()) {
      return Error(failure + copy.error());
    }
    copies.push_back(std::move(copy.get()));
  }

  // Only the folder and the copies made here change owner: anything else
  // in the folder came from the sandbox's user, and a hard link among it
  // could lead to a file outside.
  if (::fchown(folderFd, status.st_uid, status.st_gid) != 0) {
    return Error(chownFailed + lastError());
  }
  for (const Copy& copy : copies) {
    if (::fchown(copy.fd.get(), status.st_uid, status.st_gid) != 0) {
      return Error(chownFailed + "'" + copy.path + "': " + lastError());
    }
  }

  return Nothing();
}


Try<std::string> copySSLAssetToSandbox(
    const std::string& source,
    const std::string& assetFolder)
{
  struct stat status;
  if (::lstat(source.c_str(), &status) != 0) {
    return Error("Source file '" + source + "' not found");
  }

  if (::lstat(assetFolder.c_str(), &status) != 0) {
    return Error("Asset folder '" + assetFolder + "' not found");
  }

  if (S_ISLNK(status.st_mode)) {
    return Error("Asset folder '" + assetFolder + "' is a symbolic link");
  }

  Descriptor folder(::open(
      assetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) {
    return Error(
        "Failed to open asset folder '" + assetFolder + "': " + lastError());
  }

  Try<Copy> copy = copyInto(source, folder.get(), assetFolder);
  if (copy.isError()) {
    return Error(copy.error());
  }
  return copy->path;
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
