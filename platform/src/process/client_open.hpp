#ifndef __PROCESS_CLIENT_OPEN_HPP__
#define __PROCESS_CLIENT_OPEN_HPP__

// How the HTTP client opens a connection to a server, for one request
// (http::request) or many (http::connect): the TCP connection, then for
// TLS the handshake, with the server's name when it has one, and the check
// of its certificate that libprocess makes. Runs on the io thread.

#include <string>
#include <type_traits>
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>

#include <stout/ip.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

#include "openssl.hpp"

namespace process {
namespace internal {

// Opens `stream` to `endpoint` and calls `done` with None once it is
// open, else with the failure ("Failed to connect to <peer>: ..."). `done`
// must keep `stream`'s owner alive.
template <typename Stream, typename Done>
void openStream(
    Stream& stream,
    const boost::asio::ip::tcp::endpoint& endpoint,
    const Option<std::string>& hostname,
    const net::IP& ip,
    const std::string& peer,
    Done done)
{
  namespace beast = boost::beast;

  beast::get_lowest_layer(stream).async_connect(
      endpoint,
      [&stream, hostname, ip, peer, done = std::move(done)](
          const beast::error_code& error) mutable {
        if (error) {
          done(Option<std::string>(
              "Failed to connect to " + peer + ": " + error.message()));
          return;
        }

        if constexpr (std::is_same<Stream, beast::tcp_stream>::value) {
          // Plain TCP has no handshake; the captures serve the TLS branch.
          static_cast<void>(stream);
          static_cast<void>(ip);
          done(Option<std::string>::none());
        } else {
          if (hostname.isSome()) {
            SSL_set_tlsext_host_name(stream.native_handle(), hostname->c_str());
          }
          stream.async_handshake(
              boost::asio::ssl::stream_base::client,
              [&stream, hostname, ip, peer, done = std::move(done)](
                  const beast::error_code& error) mutable {
                if (error) {
                  done(Option<std::string>(
                      "Failed to connect to " + peer +
                      ": SSL handshake failed: " + error.message()));
                  return;
                }
                Try<Nothing> verified = network::openssl::verify(
                    stream.native_handle(), hostname, ip);
                if (verified.isError()) {
                  done(Option<std::string>(
                      "Failed to connect to " + peer + ": " + verified.error()));
                  return;
                }
                done(Option<std::string>::none());
              });
        }
      });
}

} // namespace internal {
} // namespace process {

#endif // __PROCESS_CLIENT_OPEN_HPP__
