#ifndef __STOUT_PATH_HPP__
#define __STOUT_PATH_HPP__

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>

#include <stout/os/constants.hpp>

namespace path {

// Joins two parts with one separator: a trailing separator of `path1` and a
// leading one of `path2` are dropped first (one each), so
// join("/api/", "/x") is "/api/x" and join("", "x") is "/x".
inline std::string join(
    const std::string& path1,
    const std::string& path2,
    const char separator = os::PATH_SEPARATOR)
{
  const std::string sep(1, separator);
  return strings::remove(path1, sep, strings::SUFFIX) + sep +
         strings::remove(path2, sep, strings::PREFIX);
}


// join(a, b, c) is join(a, join(b, c)).
template <typename... Paths>
std::string join(
    const std::string& path1,
    const std::string& path2,
    Paths&&... paths)
{
  return join(path1, join(path2, std::forward<Paths>(paths)...));
}


// Joins left to right; no parts give "".
inline std::string join(const std::vector<std::string>& paths)
{
  if (paths.empty()) {
    return "";
  }

  std::string result = paths[0];
  for (size_t i = 1; i < paths.size(); ++i) {
    result = join(result, paths[i]);
  }
  return result;
}


inline bool absolute(const std::string& path)
{
  return strings::startsWith(path, os::PATH_SEPARATOR);
}

} // namespace path


// A file system path. A leading "file://" is dropped, so a URL-style flag
// value names the file itself.
class Path
{
public:
  Path() {}

  explicit Path(const std::string& path)
    : value(strings::remove(path, "file://", strings::PREFIX)) {}

  // The last component, ignoring trailing separators, as POSIX basename():
  // "/usr/lib" -> "lib", "/usr/" -> "usr", "/" -> "/", "" -> ".".
  std::string basename() const
  {
    if (value.empty()) {
      return ".";
    }

    size_t end = value.find_last_not_of(os::PATH_SEPARATOR);
    if (end == std::string::npos) {
      return std::string(1, os::PATH_SEPARATOR);
    }

    size_t start = value.find_last_of(os::PATH_SEPARATOR, end);
    start = start == std::string::npos ? 0 : start + 1;

    return value.substr(start, end + 1 - start);
  }

  // Everything before the last component, as POSIX dirname():
  // "/usr/lib" -> "/usr", "/usr/" -> "/", "usr" -> ".", "/" -> "/".
  std::string dirname() const
  {
    if (value.empty()) {
      return ".";
    }

    size_t end = value.find_last_not_of(os::PATH_SEPARATOR);
    if (end == std::string::npos) {
      return std::string(1, os::PATH_SEPARATOR);
    }

    end = value.find_last_of(os::PATH_SEPARATOR, end);
    if (end == std::string::npos) {
      return ".";
    }

    // Drop the separators between the directory and the last component.
    end = value.find_last_not_of(os::PATH_SEPARATOR, end);
    if (end == std::string::npos) {
      return std::string(1, os::PATH_SEPARATOR);
    }

    return value.substr(0, end + 1);
  }

  // The extension of the last component including its dot ("a.tar.gz" ->
  // ".gz"); None without a dot and for "." and "..".
  Option<std::string> extension() const
  {
    const std::string name = basename();
    const size_t index = name.rfind('.');

    if (name == "." || name == ".." || index == std::string::npos) {
      return None();
    }

    return name.substr(index);
  }

  bool absolute() const { return path::absolute(value); }

  operator std::string() const { return value; }

  const std::string& string() const { return value; }

private:
  std::string value;
};


inline bool operator==(const Path& left, const Path& right)
{
  return left.string() == right.string();
}


inline bool operator!=(const Path& left, const Path& right)
{
  return !(left == right);
}


inline bool operator<(const Path& left, const Path& right)
{
  return left.string() < right.string();
}


inline bool operator>(const Path& left, const Path& right)
{
  return right < left;
}


inline bool operator<=(const Path& left, const Path& right)
{
  return !(right < left);
}


inline bool operator>=(const Path& left, const Path& right)
{
  return !(left < right);
}


inline std::ostream& operator<<(std::ostream& stream, const Path& path)
{
  return stream << path.string();
}

#endif // __STOUT_PATH_HPP__
