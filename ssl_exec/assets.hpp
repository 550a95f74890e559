#ifndef __SSL_EXEC_ASSETS_HPP__
#define __SSL_EXEC_ASSETS_HPP__

// The agent's SSL files in a container's sandbox: whether they are needed
// at all (the agent runs strict SSL), and their copy into the sandbox's
// asset folder, owned and protected like the sandbox. Plain functions
// without state; each blocks its caller until the copies are made.
//
// The sandbox belongs to the task's user, who may have put links there:
// the folder and the copies are reached through descriptors opened without
// following symbolic links, owner and mode are changed on those
// descriptors, and nothing is ever written outside the sandbox.

#include <stddef.h>

#include <string>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "ssl_exec/flags.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

// The largest certificate, key or CA file that is copied.
constexpr size_t MAX_ASSET_SIZE = 1024 * 1024;

// Whether the agent's libprocess runs SSL without downgrading to plain
// connections, so that its executors need the SSL files and settings.
bool needsSSLEnvironment();

// Makes the folder `flags.sandbox_subfolder` in `sandboxDirectory` (an
// absolute path) with the sandbox's owner, group and permission bits, and
// copies the CA file, certificate and key into it, each under its last
// path component and owned like the sandbox. The first failure ends the
// copy; what was done before it stays.
Try<Nothing> copySSLAssets(
    const Flags& flags,
    const std::string& sandboxDirectory);

// Copies the regular file `source` (at most MAX_ASSET_SIZE bytes) into the
// existing folder `assetFolder`, under the source's last path component,
// replacing an earlier file of that name; returns the copy's path. Refuses
// a folder or an existing destination that is a symbolic link. The copy
// gets the source's permission bits less the umask and the caller's owner.
Try<std::string> copySSLAssetToSandbox(
    const std::string& source,
    const std::string& assetFolder);

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_ASSETS_HPP__
