#ifndef __PROCESS_BEAST_SUPPORT_HPP__
#define __PROCESS_BEAST_SUPPORT_HPP__

// What the HTTP client and server share of their use of Boost.Beast.

#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <process/http.hpp>

namespace process {
namespace internal {

// Whether `error` comes from Beast's HTTP parser: the peer sent something
// that is not HTTP.
inline bool isParseError(const boost::beast::error_code& error)
{
  return error.category() ==
    boost::beast::http::make_error_code(
        boost::beast::http::error::bad_version).category();
}


// A client's request as libprocess writes it: the query joined unencoded,
// the caller's headers plus Host, Connection and Content-Length.
std::string encodeRequest(const http::Request& request);


// Shuts the stream's socket down and closes it; errors are of no interest
// at that point.
template <typename Stream>
void closeStream(Stream& stream)
{
  boost::beast::error_code ignored;
  auto& socket = boost::beast::get_lowest_layer(stream).socket();
  socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}


// The header fields of a parsed message, as libprocess keeps them.
template <typename Fields>
void copyHeaders(const Fields& message, http::Headers* headers)
{
  for (const auto& field : message) {
    (*headers)[std::string(field.name_string())] = std::string(field.value());
  }
}

} // namespace internal {
} // namespace process {

#endif // __PROCESS_BEAST_SUPPORT_HPP__
