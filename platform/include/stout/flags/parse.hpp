#ifndef __STOUT_FLAGS_PARSE_HPP__
#define __STOUT_FLAGS_PARSE_HPP__

#include <sys/socket.h>

#include <sstream>
#include <string>

#include <glog/logging.h>

#include <stout/duration.hpp>
#include <stout/error.hpp>
#include <stout/ip.hpp>
#include <stout/json.hpp>
#include <stout/path.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include <stout/os/read.hpp>

// flags::parse<T>(text) turns a flag's value into a T.
//
// Other types plug in either way, declared before the flags class whose
// constructor add()s a flag of that type:
//
//   namespace flags {
//
//   // One type: a `template <>` parse for it (as Mesos code does).
//   template <>
//   inline Try<process::http::URL> parse(const std::string& value)
//   {
//     return process::http::URL::parse(value);
//   }
//
//   // A family of types: a Parser<T, Enable> matching all of them.
//   template <typename T>
//   struct Parser<T, typename std::enable_if<std::is_base_of<
//       google::protobuf::Message, T>::value>::type>
//   {
//     static Try<T> parse(const std::string& value) { ... }
//   };
//
//   } // namespace flags
//
// Without either, a type is read with its operator>>.
namespace flags {

template <typename T, typename Enable = void>
struct Parser
{
  // All of the text must be consumed.
  static Try<T> parse(const std::string& value)
  {
    T t;
    std::istringstream in(value);
    in >> t;

    if (in && in.eof()) {
      return t;
    }

    return Error("Failed to convert into required type");
  }
};


template <typename T>
Try<T> parse(const std::string& value)
{
  return Parser<T>::parse(value);
}


template <>
inline Try<std::string> parse(const std::string& value)
{
  return value;
}


template <>
inline Try<bool> parse(const std::string& value)
{
  if (value == "true" || value == "1") {
    return true;
  } else if (value == "false" || value == "0") {
    return false;
  }
  return Error("Expecting a boolean (e.g., true or false)");
}


template <>
inline Try<Duration> parse(const std::string& value)
{
  return Duration::parse(value);
}


template <>
inline Try<net::IP> parse(const std::string& value)
{
  return net::IP::parse(value, AF_INET);
}


template <>
inline Try<Path> parse(const std::string& value)
{
  return Path(value);
}


namespace internal {

// JSON flags used to name their file by an absolute path; that still works
// (with a warning) alongside the "file://" form that fetch() handles.
template <typename T>
Try<T> parseJson(const std::string& value)
{
  if (strings::startsWith(value, "/")) {
    LOG(WARNING)
      << "Specifying an absolute filename to read a command line option out"
         " of without using 'file:// is deprecated and will be removed in a"
         " future release. Simply adding 'file://' to the beginning of the"
         " path should eliminate this warning.";

    Try<std::string> read = os::read(value);
    if (read.isError()) {
      return Error("Error reading file '" + value + "': " + read.error());
    }
    return JSON::parse<T>(read.get());
  }

  return JSON::parse<T>(value);
}

} // namespace internal


template <>
inline Try<JSON::Object> parse(const std::string& value)
{
  return internal::parseJson<JSON::Object>(value);
}


template <>
inline Try<JSON::Array> parse(const std::string& value)
{
  return internal::parseJson<JSON::Array>(value);
}

} // namespace flags

#endif // __STOUT_FLAGS_PARSE_HPP__
