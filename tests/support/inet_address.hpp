#ifndef __TESTS_SUPPORT_INET_ADDRESS_HPP__
#define __TESTS_SUPPORT_INET_ADDRESS_HPP__

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>

#include <process/address.hpp>

namespace ovra_test {
namespace addresses {

// The IPv4 socket address of a dotted-decimal `ip` and a port.
inline process::network::Address inet(const std::string& ip, uint16_t port)
{
  sockaddr_storage storage = {};
  sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&storage);
  in->sin_family = AF_INET;
  in->sin_port = htons(port);
  ::inet_pton(AF_INET, ip.c_str(), &in->sin_addr);
  return process::network::Address::create(storage).get();
}

} // namespace addresses {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_INET_ADDRESS_HPP__
