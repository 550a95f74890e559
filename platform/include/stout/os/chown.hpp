#ifndef __STOUT_OS_CHOWN_HPP__
#define __STOUT_OS_CHOWN_HPP__

#include <fts.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace os {

// Changes the owner of `path` (and, recursively, of everything below it)
// without following symbolic links. Errors are the bare strerror text.
inline Try<Nothing> chown(
    uid_t uid,
    gid_t gid,
    const std::string& path,
    bool recursive)
{
  char* paths[] = {const_cast<char*>(path.c_str()), nullptr};

  FTS* tree = ::fts_open(paths, FTS_NOCHDIR | FTS_PHYSICAL, nullptr);
  if (tree == nullptr) {
    return ErrnoError();
  }

  FTSENT* node;
  while ((node = ::fts_read(tree)) != nullptr) {
    switch (node->fts_info) {
      case FTS_D:
      case FTS_F:
      case FTS_SL:
      case FTS_SLNONE:
        if (::lchown(node->fts_path, uid, gid) < 0) {
          ErrnoError error;
          ::fts_close(tree);
          return error;
        }
        break;
      case FTS_DNR:
      case FTS_ERR:
      case FTS_DC:
      case FTS_NS: {
        ErrnoError error(node->fts_errno != 0 ? node->fts_errno : errno);
        ::fts_close(tree);
        return error;
      }
      default:
        break;
    }

    if (node->fts_level == FTS_ROOTLEVEL && !recursive) {
      break;
    }
  }

  ::fts_close(tree);
  return Nothing();
}


// Changes the owner to `user` and that user's primary group.
inline Try<Nothing> chown(
    const std::string& user,
    const std::string& path,
    bool recursive = true)
{
  errno = 0;
  struct passwd* passwd = ::getpwnam(user.c_str());
  if (passwd == nullptr) {
    return ErrnoError("Failed to get user information for '" + user + "'");
  }

  return chown(passwd->pw_uid, passwd->pw_gid, path, recursive);
}

} // namespace os

#endif // __STOUT_OS_CHOWN_HPP__
