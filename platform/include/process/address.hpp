#ifndef __PROCESS_ADDRESS_HPP__
#define __PROCESS_ADDRESS_HPP__

#include <netinet/in.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <ostream>
#include <string>

#include <stout/error.hpp>
#include <stout/ip.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

namespace process {
namespace network {

namespace inet {
class Address;
} // namespace inet {

// A socket address of any supported family (IPv4 or Unix domain).
class Address
{
public:
  enum class Family
  {
    INET,
    UNIX
  };

  static Try<Address> create(const sockaddr_storage& storage)
  {
    if (storage.ss_family != AF_INET && storage.ss_family != AF_UNIX) {
      return Error("Unsupported family: " + stringify(storage.ss_family));
    }
    return Address(storage);
  }

  Family family() const
  {
    return storage_.storage.ss_family == AF_INET ? Family::INET : Family::UNIX;
  }

  size_t size() const
  {
    return family() == Family::INET ? sizeof(sockaddr_in) : sizeof(sockaddr_un);
  }

  operator sockaddr_storage() const { return storage_.storage; }

private:
  friend class inet::Address;

  template <typename AddressType>
  friend Try<AddressType> convert(Try<Address>&& address);

  friend std::ostream& operator<<(std::ostream&, const Address&);

  explicit Address(const sockaddr_storage& storage)
  {
    memset(&storage_, 0, sizeof(storage_));
    storage_.storage = storage;
  }

  union
  {
    sockaddr_storage storage;
    sockaddr_in in;
    sockaddr_un un;
  } storage_;
};


// Converts a general address to one of a given family: only
// convert<network::Address> and convert<network::inet::Address> exist.
template <typename AddressType>
Try<AddressType> convert(Try<Address>&& address);


template <>
inline Try<Address> convert(Try<Address>&& address)
{
  return std::move(address);
}


namespace inet {

// An IPv4 address and port.
class Address
{
public:
  Address(const net::IP& ip_, uint16_t port_) : ip(ip_), port(port_) {}

  Address(const sockaddr_in& in)
    : Address(net::IP(in.sin_addr), ntohs(in.sin_port)) {}

  static Address LOOPBACK_ANY() { return Address(net::IP(INADDR_LOOPBACK), 0); }

  static Address ANY_ANY() { return Address(net::IP(INADDR_ANY), 0); }

  bool operator<(const Address& that) const
  {
    return ip == that.ip ? port < that.port : ip < that.ip;
  }

  bool operator>(const Address& that) const { return that < *this; }

  bool operator==(const Address& that) const
  {
    return ip == that.ip && port == that.port;
  }

  bool operator!=(const Address& that) const { return !(*this == that); }

  operator network::Address() const
  {
    sockaddr_storage storage;
    memset(&storage, 0, sizeof(storage));
    sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    in->sin_addr = ip.in().get();
    in->sin_port = htons(port);
    return network::Address(storage);
  }

  net::IP ip;
  uint16_t port;
};


inline std::ostream& operator<<(std::ostream& stream, const Address& address)
{
  return stream << address.ip << ":" << address.port;
}

} // namespace inet {


template <>
inline Try<inet::Address> convert(Try<Address>&& address)
{
  if (address.isError()) {
    return Error(address.error());
  }
  if (address->family() != Address::Family::INET) {
    return Error("Unexpected address family");
  }
  return inet::Address(address->storage_.in);
}


// "ip:port" for an IPv4 address, the socket path for a Unix one.
inline std::ostream& operator<<(std::ostream& stream, const Address& address)
{
  if (address.family() == Address::Family::INET) {
    return stream << inet::Address(address.storage_.in);
  }
  return stream << address.storage_.un.sun_path;
}

} // namespace network {
} // namespace process {

#endif // __PROCESS_ADDRESS_HPP__
