#ifndef __TESTS_SUPPORT_RAW_SERVER_HPP__
#define __TESTS_SUPPORT_RAW_SERVER_HPP__

// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif


#include <functional>
#include <string>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

// A loopback TCP server for client tests that answers exactly as a test
// scripts it, garbage included: it accepts one connection and runs the
// script on it, on a thread of its own joined on destruction.
class RawServer
{
public:
  typedef boost::asio::ip::tcp tcp;
  typedef std::function<void(tcp::socket&)> Script;

  explicit RawServer(const Script& script)
    : acceptor_(io_, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0))
  {
    port_ = acceptor_.local_endpoint().port();
    thread_ = std::thread([this, script]() {
      boost::system::error_code error;
      tcp::socket socket(io_);
      acceptor_.accept(socket, error);
      if (!error) {
        script(socket);
      }
    });
  }

  ~RawServer() { thread_.join(); }

  uint16_t port() const { return port_; }

  // Reads up to the end of the request head; returns it.
  static std::string readHead(tcp::socket& socket)
  {
    boost::asio::streambuf buffer;
    boost::system::error_code error;
    boost::asio::read_until(socket, buffer, "\r\n\r\n", error);
    return std::string(
        boost::asio::buffers_begin(buffer.data()),
        boost::asio::buffers_end(buffer.data()));
  }

  static void write(tcp::socket& socket, const std::string& data)
  {
    boost::system::error_code error;
    boost::asio::write(socket, boost::asio::buffer(data), error);
  }

  // Blocks until the peer closes the connection.
  static void waitForClose(tcp::socket& socket)
  {
    char byte;
    boost::system::error_code error;
    while (!error) {
      socket.read_some(boost::asio::buffer(&byte, 1), error);
    }
  }

private:
  boost::asio::io_context io_;
  tcp::acceptor acceptor_;
  uint16_t port_;
  std::thread thread_;
};

#endif // __TESTS_SUPPORT_RAW_SERVER_HPP__
