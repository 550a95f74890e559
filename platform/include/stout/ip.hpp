#ifndef __STOUT_IP_HPP__
#define __STOUT_IP_HPP__

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <functional>
#include <ostream>
#include <string>

#include <stout/error.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

namespace net {

// An IPv4 address. The address is kept in network byte order.
class IP
{
public:
  // "10.0.0.1" style text; only AF_INET is supported.
  static Try<IP> parse(const std::string& value, int family);

  static Try<IP> create(const struct sockaddr_storage& storage);
  static Try<IP> create(const struct sockaddr& storage);

  explicit IP(const struct in_addr& in) : family_(AF_INET), in_(in) {}

  // From a host byte order value, e.g. IP(INADDR_LOOPBACK).
  explicit IP(uint32_t address) : family_(AF_INET)
  {
    in_.s_addr = htonl(address);
  }

  int family() const { return family_; }

  Try<struct in_addr> in() const { return in_; }

  bool isLoopback() const { return in_.s_addr == htonl(INADDR_LOOPBACK); }

  bool isAny() const { return in_.s_addr == htonl(INADDR_ANY); }

  bool operator==(const IP& that) const
  {
    return family_ == that.family_ && in_.s_addr == that.in_.s_addr;
  }

  bool operator!=(const IP& that) const { return !(*this == that); }

  // Orders by family, then by the address bytes as stored.
  bool operator<(const IP& that) const
  {
    if (family_ != that.family_) {
      return family_ < that.family_;
    }
    return memcmp(&in_, &that.in_, sizeof(in_)) < 0;
  }

  bool operator>(const IP& that) const { return that < *this; }

private:
  int family_;
  struct in_addr in_;
};


inline Try<IP> IP::parse(const std::string& value, int family)
{
  if (family != AF_INET) {
    return Error("Unsupported family type: " + stringify(family));
  }

  struct in_addr in;
  if (inet_pton(AF_INET, value.c_str(), &in) != 1) {
    return Error("Failed to parse the IP");
  }

  return IP(in);
}


inline Try<IP> IP::create(const struct sockaddr_storage& storage)
{
  if (storage.ss_family != AF_INET) {
    return Error("Unsupported family type: " + stringify(storage.ss_family));
  }

  struct sockaddr_in addr;
  memcpy(&addr, &storage, sizeof(addr));
  return IP(addr.sin_addr);
}


inline Try<IP> IP::create(const struct sockaddr& storage)
{
  if (storage.sa_family != AF_INET) {
    return Error("Unsupported family type: " + stringify(storage.sa_family));
  }

  // A sockaddr that holds AF_INET is the start of a sockaddr_in.
  const struct sockaddr_in* addr =
    reinterpret_cast<const struct sockaddr_in*>(&storage);
  return IP(addr->sin_addr);
}


// Dotted decimal, "127.0.0.1".
inline std::ostream& operator<<(std::ostream& stream, const IP& ip)
{
  const struct in_addr in = ip.in().get();
  char buffer[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &in, buffer, sizeof(buffer)) == nullptr) {
    // Cannot happen for AF_INET with a buffer of INET_ADDRSTRLEN.
    return stream;
  }
  return stream << buffer;
}

} // namespace net


namespace std {

template <>
struct hash<net::IP>
{
  size_t operator()(const net::IP& ip) const
  {
    return std::hash<uint32_t>()(ntohl(ip.in().get().s_addr));
  }
};

} // namespace std

#endif // __STOUT_IP_HPP__
