#ifndef __STOUT_FLAGS_FETCH_HPP__
#define __STOUT_FLAGS_FETCH_HPP__

#include <string>

#include <stout/error.hpp>
#include <stout/path.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include <stout/flags/parse.hpp>

#include <stout/os/read.hpp>

namespace flags {

// Resolves a flag value before parsing it: "file://<path>" stands for the
// content of that file. A `template <>` fetch for a type replaces this, as
// Path's below does.
template <typename T>
Try<T> fetch(const std::string& value)
{
  if (strings::startsWith(value, "file://")) {
    const std::string path = value.substr(7);

    Try<std::string> read = os::read(path);
    if (read.isError()) {
      return Error("Error reading file '" + path + "': " + read.error());
    }

    return parse<T>(read.get());
  }

  return parse<T>(value);
}


// A Path flag names the file; it is never read.
template <>
inline Try<Path> fetch(const std::string& value)
{
  return parse<Path>(value);
}

} // namespace flags

#endif // __STOUT_FLAGS_FETCH_HPP__
