#include "common/sentrel/flag_parsers.hpp"

#include <glog/logging.h>

#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/protobuf.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/bounded_json.hpp"

namespace flags {

template <>
Try<process::http::URL> parse(const std::string& value)
{
  return process::http::URL::parse(value);
}

namespace {

// A JSON error quotes the text at the fault ("syntax error at line 3 near:
// <rest of the line>"); a credential's text holds its private key, so only
// the error's own words are kept.
std::string withoutQuotedText(const std::string& error)
{
  const size_t near = error.find(" near: ");
  if (near != std::string::npos) {
    return error.substr(0, near);
  }
  const std::string trailing = "trailing characters";
  const size_t rest = error.find(trailing + ": ");
  if (rest != std::string::npos) {
    return error.substr(0, rest + trailing.size());
  }
  return error;
}

} // namespace {


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

  Try<JSON::Object> json = mesos::sentrel::parseJson<JSON::Object>(text);
  if (json.isError()) {
    return Error(withoutQuotedText(json.error()));
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
