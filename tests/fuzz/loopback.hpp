#ifndef __TESTS_FUZZ_LOOPBACK_HPP__
#define __TESTS_FUZZ_LOOPBACK_HPP__

// Blocking loopback sockets for the fuzz targets that drive the HTTP
// server and client over real connections. Every read and write has a
// time limit: a peer that stops answering is reported as a hang.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz/fuzz_support.hpp"

namespace ovra_test {
namespace fuzz {

// How long a peer may stay silent before it counts as hung.
constexpr int HANG_MILLISECONDS = 10000;


class Socket
{
public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() { close(); }

  Socket(Socket&& that) : fd_(that.fd_) { that.fd_ = -1; }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int fd() const { return fd_; }

  // An abortive close: no TIME_WAIT is left behind, so that hundreds of
  // connections a second do not use up the loopback's ephemeral ports.
  // Call it once the peer has had all it is to get.
  void close()
  {
    if (fd_ >= 0) {
      const linger abort = {1, 0};
      ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof(abort));
      ::close(fd_);
      fd_ = -1;
    }
  }

  // Writes all of `data`; a peer that closed early ends the write.
  void writeAll(const std::string& data)
  {
    size_t written = 0;
    while (written < data.size()) {
      wait(POLLOUT);
      const ssize_t n = ::send(
          fd_, data.data() + written, data.size() - written, MSG_NOSIGNAL);
      if (n <= 0) {
        return;
      }
      written += static_cast<size_t>(n);
    }
  }

  void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

  // Reads until the peer closes, or until `stop` appears in what was read;
  // at most `limit` bytes are kept.
  std::string readUntil(const std::string& stop = "", size_t limit = 1 << 20)
  {
    std::string result;
    char buffer[4096];
    while (true) {
      wait(POLLIN);
      const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (n <= 0) {
        return result;
      }
      if (result.size() < limit) {
        result.append(buffer, static_cast<size_t>(n));
      }
      if (!stop.empty() && result.find(stop) != std::string::npos) {
        return result;
      }
    }
  }

private:
  void wait(short events)
  {
    pollfd entry = {fd_, events, 0};
    if (::poll(&entry, 1, HANG_MILLISECONDS) == 0) {
      fail("a loopback peer hung");
    }
  }

  int fd_;
};


inline sockaddr_in loopback(uint16_t port)
{
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}


inline Socket connectTo(uint16_t port)
{
  Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
  const sockaddr_in address = loopback(port);
  if (::connect(
          socket.fd(),
          reinterpret_cast<const sockaddr*>(&address),
          sizeof(address)) != 0) {
    fail(
        "cannot connect to the server on port " + std::to_string(port) + ": " +
        strerror(errno));
  }
  return socket;
}


// A listening socket on a free loopback port.
class Listener
{
public:
  Listener() : socket_(::socket(AF_INET, SOCK_STREAM, 0))
  {
    const int on = 1;
    ::setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof(address);
    if (::bind(
            socket_.fd(),
            reinterpret_cast<sockaddr*>(&address),
            sizeof(address)) != 0 ||
        ::listen(socket_.fd(), 64) != 0 ||
        ::getsockname(
            socket_.fd(), reinterpret_cast<sockaddr*>(&address), &length) !=
            0) {
      fail("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
  }

  uint16_t port() const { return port_; }

  Socket accept()
  {
    pollfd entry = {socket_.fd(), POLLIN, 0};
    if (::poll(&entry, 1, HANG_MILLISECONDS) == 0) {
      fail("nobody connected to the listener");
    }
    return Socket(::accept(socket_.fd(), nullptr, nullptr));
  }

private:
  Socket socket_;
  uint16_t port_ = 0;
};

} // namespace fuzz {
} // namespace ovra_test {

#endif // __TESTS_FUZZ_LOOPBACK_HPP__
