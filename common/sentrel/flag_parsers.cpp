#include "common/sentrel/flag_parsers.hpp"

#include <glog/logging.h>

#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/protobuf.hpp>
#include <stout/strings.hpp>

namespace flags {

template <>
Try<process::http::URL> parse(const std::string& value)
{
  return process::http::URL::parse(value);
}

template <>
Try<corvanta::Credential> parse(const std::string& value)
{
  std::string text = value;

  // A "file://" value was already replaced by the file's content when the
  // flag was loaded; a bare absolute path is the older form of the same.
  if (strings::startsWith(value, "/")) {
    LOG(WARNING) << "Specifying an absolute filename to read a command line "
                    "option out of without using 'file:// is deprecated and "
                    "will be removed in a future release. Simply adding "
                    "'file://' to the beginning of the path should eliminate "
                    "this warning.";

    Try<std::string> read = os::read(value);
    if (read.isError()) {
      return Error("Error reading file '" + value + "': " + read.error());
    }
    text = read.get();
  }

  Try<JSON::Object> json = JSON::parse<JSON::Object>(text);
  if (json.isError()) {
    return Error(json.error());
  }

  // protobuf::parse reports absent required fields as
  // "Missing required fields: ...".
  return protobuf::parse<corvanta::Credential>(json.get());
}

} // namespace flags

namespace corvanta {

std::ostream& operator<<(std::ostream& stream, const Credential& credential)
{
  return stream << "service account '" << credential.uid() << "'";
}

} // namespace corvanta
