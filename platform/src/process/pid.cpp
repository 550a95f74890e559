#include <stdio.h>

#include <istream>
#include <ostream>
#include <sstream>
#include <string>

#include <glog/logging.h>

#include <process/pid.hpp>
#include <process/process.hpp>

#include "runtime.hpp"

namespace process {

UPID::UPID(const char* s)
{
  std::istringstream in(s);
  in >> *this;
}


UPID::UPID(const std::string& s)
{
  std::istringstream in(s);
  in >> *this;
}


UPID::UPID(const ProcessBase& process)
{
  const UPID pid = process.self();
  id = pid.id;
  address = pid.address;
}


UPID::operator std::string() const
{
  std::ostringstream out;
  out << *this;
  return out.str();
}


std::ostream& operator<<(std::ostream& stream, const UPID& pid)
{
  return stream << pid.id << "@" << pid.address;
}


// Reads "id@host:port"; on anything else sets badbit and leaves `pid`
// empty.
std::istream& operator>>(std::istream& stream, UPID& pid)
{
  pid.id = "";
  pid.address = network::inet::Address::ANY_ANY();

  std::string text;
  if (!(stream >> text) || text.empty()) {
    stream.setstate(std::ios_base::badbit);
    return stream;
  }

  const size_t at = text.find('@');
  if (at == std::string::npos) {
    stream.setstate(std::ios_base::badbit);
    return stream;
  }

  const std::string id = text.substr(0, at);
  const std::string rest = text.substr(at + 1);

  const size_t colon = rest.find(':');
  if (colon == std::string::npos) {
    stream.setstate(std::ios_base::badbit);
    return stream;
  }

  Try<net::IP> ip = internal::resolve(rest.substr(0, colon));
  if (ip.isError()) {
    VLOG(2) << "Failed to parse '" << text << "' as a PID: " << ip.error();
    stream.setstate(std::ios_base::badbit);
    return stream;
  }

  unsigned short port = 0;
  if (sscanf(rest.c_str() + colon + 1, "%hu", &port) != 1) {
    stream.setstate(std::ios_base::badbit);
    return stream;
  }

  pid.id = id;
  pid.address = network::inet::Address(ip.get(), port);
  return stream;
}

} // namespace process {
