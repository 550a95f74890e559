#include "common/logfmt.hpp"

#include <string>
#include <unordered_map>
#include <utility>

#include <glog/logging.h>

#include <stout/stringify.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

using process::network::Address;

namespace corvanta {

namespace {

// A logfmt value in double quotes: backslashes, line feeds and double
// quotes are escaped, in that order; every other byte passes unchanged.
std::string quote(const std::string& value)
{
  std::string quoted = strings::replace(value, "\\", "\\\\");
  quoted = strings::replace(quoted, "\n", "\\n");
  quoted = strings::replace(quoted, "\"", "\\\"");
  return "\"" + quoted + "\"";
}


std::string text(LogFmt::Authorizer authorizer)
{
  switch (authorizer) {
    case LogFmt::Authorizer::MESOS_MASTER: return "mesos-master";
    case LogFmt::Authorizer::MESOS_AGENT: return "mesos-agent";
    case LogFmt::Authorizer::MESOS_SECRETS:
      return "mesos secrets hook/isolator";
  }
  return "";
}


std::string text(LogFmt::Result result)
{
  switch (result) {
    case LogFmt::Result::ALLOW: return "allow";
    case LogFmt::Result::DENY: return "deny";
  }
  return "";
}


// The IP and port of an IPv4 address under "<prefix>ip" and "<prefix>port";
// addresses of other families are left out of the record.
void addAddress(
    std::unordered_map<std::string, std::string>* record,
    const std::string& prefix,
    const Option<Address>& address)
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

} // namespace {


void LogFmt::log(
    const process::Time& timestamp,
    Authorizer authorizer,
    const Option<std::string>& uid,
    const std::string& action,
    const std::string& object,
    Result result,
    const Option<std::string>& reason,
    const Option<Address>& source,
    const Option<Address>& destination,
    const Option<std::string>& agent) const
{
  if (!enabled()) {
    return;
  }

  std::unordered_map<std::string, std::string> record(10);

  record["type"] = "audit";
  record["timestamp"] = stringify(process::RFC3339(timestamp));
  record["authorizer"] = quote(text(authorizer));
  if (uid.isSome()) {
    record["uid"] = quote(uid.get());
  }
  record["action"] = quote(action);
  record["object"] = quote(object);
  record["result"] = text(result);
  if (reason.isSome()) {
    record["reason"] = quote(reason.get());
  }
  addAddress(&record, "src", source);
  addAddress(&record, "dst", destination);
  if (agent.isSome()) {
    record["agent"] = quote(agent.get());
  }

  std::string line;
  for (const auto& [key, value] : record) {
    if (!line.empty()) {
      line += " ";
    }
    line += key + "=" + value;
  }

  LOG(INFO) << line;
}

} // namespace corvanta {
