#ifndef __TESTS_SUPPORT_SILENT_LISTENER_HPP__
#define __TESTS_SUPPORT_SILENT_LISTENER_HPP__

// A TCP listener on 127.0.0.1 that never answers: the kernel completes
// each connection and keeps the request, and nobody reads it. Requests to
// it stay pending until the caller's time limit.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdint.h>

#include <string>

class SilentListener
{
public:
  SilentListener()
  {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;

    socklen_t length = sizeof(address);
    if (fd_ < 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd_, 16) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }

    port_ = ntohs(address.sin_port);
  }

  ~SilentListener()
  {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  // 0 if the listener could not be set up.
  uint16_t port() const { return port_; }

  std::string url(const std::string& path) const
  {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

#endif // __TESTS_SUPPORT_SILENT_LISTENER_HPP__
