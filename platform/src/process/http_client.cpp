// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <glog/logging.h>

#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/strings.hpp>

#include "beast_support.hpp"
#include "client_open.hpp"
#include "openssl.hpp"
#include "runtime.hpp"

// The HTTP client: each request gets a connection of its own, closed after
// the response. Everything on a connection happens on the io thread; the
// caller only sees the future. A request whose future is discarded, or that
// nobody holds any more, is dropped and its connection closed; a response
// body is read chunk by chunk up to a bound, so a slow or endless answer
// costs neither unbounded memory nor a socket for ever.

namespace process {
namespace http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

std::atomic<size_t> maxBodySize{64 * 1024 * 1024};

// How often a connection looks whether anyone still waits for it.
constexpr std::chrono::milliseconds WATCH_INTERVAL(250);


// One request and its response over one connection, plain or TLS.
template <typename Stream>
class Exchange : public std::enable_shared_from_this<Exchange<Stream>>
{
public:
  Exchange(
      Stream&& stream,
      const tcp::endpoint& endpoint,
      std::string&& wire,
      const Option<std::string>& hostname,
      const net::IP& ip)
    : stream_(std::move(stream)),
      endpoint_(endpoint),
      wire_(std::move(wire)),
      hostname_(hostname),
      ip_(ip),
      peer_(stringify(network::inet::Address(ip, endpoint.port()))),
      watch_(internal::io()),
      bodyLimit_(maxBodySize.load())
  {
    parser_.body_limit(bodyLimit_);
    parser_.header_limit(1024 * 1024);
  }

  Future<Response> start()
  {
    Future<Response> future = promise_.future();

    std::weak_ptr<Exchange> weak = this->shared_from_this();
    future.onDiscard([weak]() {
      std::shared_ptr<Exchange> self = weak.lock();
      if (self != nullptr) {
        asio::post(internal::io(), [self]() { self->abort(); });
      }
    });

    std::shared_ptr<Exchange> self = this->shared_from_this();
    asio::post(internal::io(), [self]() {
      self->watch();
      self->connect();
    });

    return future;
  }

private:
  void connect()
  {
    if (aborted_) {
      return;
    }
    std::shared_ptr<Exchange> self = this->shared_from_this();
    internal::openStream(
        stream_, endpoint_, hostname_, ip_, peer_,
        [self](const Option<std::string>& error) {
          if (self->aborted_) {
            return;
          }
          if (error.isSome()) {
            self->fail(error.get());
            return;
          }
          self->write();
        });
  }

  void write()
  {
    std::shared_ptr<Exchange> self = this->shared_from_this();
    asio::async_write(
        stream_,
        asio::buffer(wire_),
        [self](const beast::error_code& error, size_t) {
          self->written(error);
        });
  }

  void written(const beast::error_code& error)
  {
    if (aborted_) {
      return;
    }
    if (error) {
      fail("Failed to send request to " + peer_ + ": " + error.message());
      return;
    }

    std::shared_ptr<Exchange> self = this->shared_from_this();
    beast::http::async_read_header(
        stream_,
        buffer_,
        parser_,
        [self](const beast::error_code& error, size_t) {
          self->readSome(error);
        });
  }

  // Reads the body a chunk at a time, so that between chunks the exchange
  // can notice that nobody waits for it any more.
  void readSome(const beast::error_code& error)
  {
    if (aborted_) {
      return;
    }
    if (error || parser_.is_done()) {
      received(error);
      return;
    }

    std::shared_ptr<Exchange> self = this->shared_from_this();
    beast::http::async_read_some(
        stream_,
        buffer_,
        parser_,
        [self](const beast::error_code& error, size_t) {
          self->readSome(error);
        });
  }

  void received(const beast::error_code& error)
  {
    if (aborted_) {
      return;
    }

    if (error == beast::http::error::end_of_stream ||
        error == beast::http::error::partial_message ||
        error == asio::error::eof ||
        error == asio::error::connection_reset ||
        error == asio::ssl::error::stream_truncated) {
      // The peer closed before a whole response arrived.
      fail("Disconnected");
      return;
    }

    if (error == beast::http::error::body_limit) {
      fail("Failed to receive response from " + peer_ +
           ": the body exceeds the limit of " + stringify(bodyLimit_) +
           " bytes");
      return;
    }

    if (error && internal::isParseError(error)) {
      fail("Failed to decode response");
      return;
    }

    if (error) {
      fail("Failed to receive response from " + peer_ + ": " +
           error.message());
      return;
    }

    auto& message = parser_.get();
    const unsigned code = message.result_int();
    if (code > std::numeric_limits<uint16_t>::max() ||
        !Status::known(static_cast<uint16_t>(code))) {
      fail("Failed to decode response");
      return;
    }

    Response response;
    response.code = static_cast<uint16_t>(code);
    response.status = Status::string(response.code);
    internal::copyHeaders(message, &response.headers);
    response.type = Response::BODY;
    response.body = std::move(message.body());

    close();
    promise_.set(std::move(response));
  }

  void fail(const std::string& message)
  {
    VLOG(1) << "HTTP request to " << peer_ << " failed: " << message;
    close();
    promise_.fail(message);
  }

  // Called on the io thread when the caller discards the future, or when
  // nobody holds it any more.
  void abort()
  {
    if (aborted_) {
      return;
    }
    VLOG(1) << "HTTP request to " << peer_ << " dropped: nobody waits for it";
    aborted_ = true;
    close();
    promise_.discard();
  }

  void watch()
  {
    std::shared_ptr<Exchange> self = this->shared_from_this();
    watch_.expires_after(WATCH_INTERVAL);
    watch_.async_wait([self](const beast::error_code& error) {
      if (error || self->aborted_ || self->closed_) {
        return;
      }
      if (self->promise_.abandoned()) {
        self->abort();
        return;
      }
      self->watch();
    });
  }

  void close()
  {
    closed_ = true;
    watch_.cancel();
    internal::closeStream(stream_);
  }

  Stream stream_;
  const tcp::endpoint endpoint_;
  const std::string wire_;
  const Option<std::string> hostname_;
  const net::IP ip_;
  const std::string peer_;

  asio::steady_timer watch_;
  const size_t bodyLimit_;

  beast::flat_buffer buffer_;
  beast::http::response_parser<beast::http::string_body> parser_;
  Promise<Response> promise_;
  bool aborted_ = false;
  bool closed_ = false;
};

} // namespace {


void setMaxResponseBodySize(size_t bytes)
{
  maxBodySize.store(bytes);
}


size_t maxResponseBodySize()
{
  return maxBodySize.load();
}


Future<Response> request(const Request& request, bool streamedResponse)
{
  if (streamedResponse) {
    return Failure("Streamed responses are not supported");
  }

  if (request.type == Request::PIPE) {
    return Failure("Streamed requests are not supported");
  }

  const URL& url = request.url;

  if (url.ip.isNone() && url.domain.isNone()) {
    return Failure("Expected URL.ip or URL.domain to be set");
  }

  net::IP ip(INADDR_ANY);
  if (url.ip.isSome()) {
    ip = url.ip.get();
  } else {
    Try<net::IP> resolved = internal::resolve(url.domain.get());
    if (resolved.isError()) {
      return Failure(
          "Failed to determine IP of domain '" + url.domain.get() + "': " +
          resolved.error());
    }
    ip = resolved.get();
  }

  if (url.port.isNone()) {
    return Failure("Expecting url.port to be set");
  }

  process::initialize();

  const tcp::endpoint endpoint(
      asio::ip::address_v4(ntohl(ip.in().get().s_addr)), url.port.get());

  std::string wire = internal::encodeRequest(request);

  try {
    if (url.scheme.isNone() || url.scheme.get() == "http") {
      return std::make_shared<Exchange<beast::tcp_stream>>(
          beast::tcp_stream(internal::io()),
          endpoint,
          std::move(wire),
          url.domain,
          ip)->start();
    }

    if (url.scheme.get() == "https") {
      Try<std::shared_ptr<asio::ssl::context>> context =
        network::openssl::context();
      if (context.isError()) {
        return Failure("Failed to create socket: " + context.error());
      }

      typedef beast::ssl_stream<beast::tcp_stream> TlsStream;
      return std::make_shared<Exchange<TlsStream>>(
          TlsStream(internal::io(), *context.get()),
          endpoint,
          std::move(wire),
          url.domain,
          ip)->start();
    }
  } catch (const std::exception& e) {
    return Failure(std::string("Failed to create socket: ") + e.what());
  }

  return Failure("Unsupported URL scheme");
}

} // namespace http {


namespace internal {

// The request as libprocess writes it: the query joined unencoded, the
// caller's headers plus Host, Connection and Content-Length.
std::string encodeRequest(const http::Request& request)
{
  std::ostringstream out;

  out << request.method << " /"
      << strings::remove(request.url.path, "/", strings::PREFIX);

  if (!request.url.query.empty()) {
    std::string query;
    for (const auto& entry : request.url.query) {
      if (!query.empty()) {
        query += "&";
      }
      query += entry.first + "=" + entry.second;
    }
    out << "?" << query;
  }

  if (request.url.fragment.isSome()) {
    out << "#" << request.url.fragment.get();
  }

  out << " HTTP/1.1\r\n";

  http::Headers headers = request.headers;

  if (request.url.domain.isSome()) {
    headers["Host"] = request.url.domain.get();
  } else if (request.url.ip.isSome()) {
    headers["Host"] = stringify(request.url.ip.get());
  }

  if (request.url.port.isSome() &&
      request.url.port.get() != 80 &&
      request.url.port.get() != 443) {
    headers["Host"] += ":" + stringify(request.url.port.get());
  }

  if (!request.keepAlive) {
    headers["Connection"] = "close";
  }

  headers["Content-Length"] = stringify(request.body.length());

  for (const auto& header : headers) {
    out << header.first << ": " << header.second << "\r\n";
  }

  out << "\r\n" << request.body;
  return out.str();
}



Try<net::IP> resolve(const std::string& host)
{
  in_addr address;
  if (::inet_pton(AF_INET, host.c_str(), &address) == 1) {
    return net::IP(address);
  }

  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;

  addrinfo* result = nullptr;
  const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (error != 0) {
    return Error(::gai_strerror(error));
  }

  std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(result, &::freeaddrinfo);
  for (addrinfo* entry = result; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      return net::IP(reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr);
    }
  }

  return Error("No IPv4 address for '" + host + "'");
}

} // namespace internal {
} // namespace process {
