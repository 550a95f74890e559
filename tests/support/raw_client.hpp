#ifndef __TESTS_SUPPORT_RAW_CLIENT_HPP__
#define __TESTS_SUPPORT_RAW_CLIENT_HPP__

// A plain TCP client for tests that speak to a server byte by byte: it
// sends what a test scripts and reads what comes back. Every read gives up
// after 10 seconds, so a server that never answers fails the test instead
// of hanging it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <errno.h>
#include <stdint.h>

#include <string>

namespace ovra_test {

class RawClient
{
public:
  explicit RawClient(uint16_t port)
  {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) {
      return;
    }

    timeval timeout = {10, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ =
        ::connect(
            fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }

  ~RawClient()
  {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }

  bool send(const std::string& data)
  {
    size_t sent = 0;
    while (sent < data.size()) {
      const ssize_t n =
          ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) {
        return false;
      }
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // Reads up to and including the next "\r\n\r\n" (a response head), or
  // what came before the connection closed or the time ran out.
  std::string readHead()
  {
    std::string head;
    char byte;
    while (head.size() < 4 ||
           head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
      if (::recv(fd_, &byte, 1, 0) != 1) {
        break;
      }
      head.push_back(byte);
    }
    return head;
  }

  // Whether the server closed the connection (rather than the time
  // running out), reading and dropping whatever comes before.
  bool closedByPeer()
  {
    char buffer[4096];
    while (true) {
      const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), 0);
      if (n == 0) {
        return true;
      }
      if (n < 0) {
        return errno == ECONNRESET;
      }
    }
  }

private:
  int fd_ = -1;
  bool connected_ = false;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_RAW_CLIENT_HPP__
