#ifndef __PROCESS_PID_HPP__
#define __PROCESS_PID_HPP__

#include <stdint.h>

#include <functional>
#include <iosfwd>
#include <string>
#include <type_traits>

#include <process/address.hpp>

#include <stout/ip.hpp>

namespace process {

class ProcessBase;

// The address of an actor: its id and the address of the libprocess
// instance (the listening socket) that runs it. Written "id@ip:port".
struct UPID
{
  UPID() = default;

  UPID(const UPID& that) = default;
  UPID& operator=(const UPID& that) = default;

  UPID(const char* id_, const net::IP& ip, uint16_t port)
    : id(id_), address(ip, port) {}

  UPID(const char* id_, const network::inet::Address& address_)
    : id(id_), address(address_) {}

  UPID(const std::string& id_, const net::IP& ip, uint16_t port)
    : id(id_), address(ip, port) {}

  UPID(const std::string& id_, const network::inet::Address& address_)
    : id(id_), address(address_) {}

  // Parses "id@host:port"; anything else gives an empty UPID.
  /*implicit*/ UPID(const char* s);
  /*implicit*/ UPID(const std::string& s);

  /*implicit*/ UPID(const ProcessBase& process);

  operator std::string() const;

  // Whether this names an actor somewhere: id, ip and port all set.
  operator bool() const
  {
    return id != "" && !address.ip.isAny() && address.port != 0;
  }

  // Whether this is entirely empty.
  bool operator!() const
  {
    return id == "" && address.ip.isAny() && address.port == 0;
  }

  bool operator<(const UPID& that) const
  {
    return address == that.address ? id < that.id : address < that.address;
  }

  bool operator==(const UPID& that) const
  {
    return id == that.id && address == that.address;
  }

  bool operator!=(const UPID& that) const { return !(*this == that); }

  std::string id;
  network::inet::Address address = network::inet::Address::ANY_ANY();
};


// A UPID typed with the actor's class, for dispatch.
template <typename T = ProcessBase>
struct PID : UPID
{
  PID() : UPID() {}

  /*implicit*/ PID(const T* t) : UPID(static_cast<const ProcessBase&>(*t)) {}
  /*implicit*/ PID(const T& t) : UPID(static_cast<const ProcessBase&>(t)) {}

  // A PID converts to the PID of any base class.
  template <typename Base>
  operator PID<Base>() const
  {
    static_assert(
        std::is_convertible<T*, Base*>::value,
        "PID<T> converts only to PID of a base of T");
    PID<Base> pid;
    pid.id = id;
    pid.address = address;
    return pid;
  }
};


std::ostream& operator<<(std::ostream& stream, const UPID& pid);
std::istream& operator>>(std::istream& stream, UPID& pid);

} // namespace process {


namespace std {

template <>
struct hash<process::UPID>
{
  size_t operator()(const process::UPID& pid) const
  {
    size_t seed = std::hash<std::string>()(pid.id);
    seed ^= std::hash<net::IP>()(pid.address.ip) + 0x9e3779b9 + (seed << 6) +
            (seed >> 2);
    seed ^= std::hash<uint16_t>()(pid.address.port) + 0x9e3779b9 +
            (seed << 6) + (seed >> 2);
    return seed;
  }
};

} // namespace std {

#endif // __PROCESS_PID_HPP__
