#ifndef __TESTS_SUPPORT_LOGFMT_REFERENCE_HPP__
#define __TESTS_SUPPORT_LOGFMT_REFERENCE_HPP__

#include <string>
#include <unordered_map>

#include <process/address.hpp>
#include <process/time.hpp>

#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

namespace ovra_test {

// How records were first built, kept as the reference for the layout of
// every line: the pairs are collected in a hash map with a bucket hint of
// 10, in a fixed sequence, and written in the map's iteration order.
inline std::string referenceQuote(const std::string& value)
{
  std::string quoted = strings::replace(value, "\\", "\\\\");
  quoted = strings::replace(quoted, "\n", "\\n");
  quoted = strings::replace(quoted, "\"", "\\\"");
  return "\"" + quoted + "\"";
}


inline void referenceAddress(
    std::unordered_map<std::string, std::string>* record,
    const std::string& prefix,
    const Option<process::network::Address>& address)
{
  if (address.isNone()) {
    return;
  }

  Try<process::network::inet::Address> inet =
      process::network::convert<process::network::inet::Address>(address.get());
  if (inet.isError()) {
    return;
  }

  (*record)[prefix + "ip"] = stringify(inet->ip);
  (*record)[prefix + "port"] = stringify(inet->port);
}


inline std::string referenceLine(
    const process::Time& timestamp,
    const std::string& authorizer,
    const Option<std::string>& uid,
    const std::string& action,
    const std::string& object,
    const std::string& result,
    const Option<std::string>& reason,
    const Option<process::network::Address>& source,
    const Option<process::network::Address>& destination,
    const Option<std::string>& agent)
{
  std::unordered_map<std::string, std::string> record(10);

  record["type"] = "audit";
  record["timestamp"] = stringify(process::RFC3339(timestamp));
  record["authorizer"] = referenceQuote(authorizer);
  if (uid.isSome()) {
    record["uid"] = referenceQuote(uid.get());
  }
  record["action"] = referenceQuote(action);
  record["object"] = referenceQuote(object);
  record["result"] = result;
  if (reason.isSome()) {
    record["reason"] = referenceQuote(reason.get());
  }
  referenceAddress(&record, "src", source);
  referenceAddress(&record, "dst", destination);
  if (agent.isSome()) {
    record["agent"] = referenceQuote(agent.get());
  }

  std::string line;
  for (const auto& [key, value] : record) {
    if (!line.empty()) {
      line += " ";
    }
    line += key + "=" + value;
  }
  return line;
}

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_LOGFMT_REFERENCE_HPP__
