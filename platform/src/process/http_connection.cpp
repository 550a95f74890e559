// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The client's persistent connections (http::connect), as libprocess 1.2.0
// has them: one socket, requests written in the order they are sent,
// answers read in that order, and a streamed answer's body handed to a
// Pipe as it arrives, however slowly the reader reads. Everything on the
// socket happens on the io thread; callers see futures only. The socket
// closes on disconnect(), when an answer or a request says "Connection:
// close" and its answer is complete, on any failure, and when the last
// copy of the Connection goes.

#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/optional.hpp>

#include <glog/logging.h>

#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/stringify.hpp>

#include "beast_support.hpp"
#include "client_open.hpp"
#include "openssl.hpp"
#include "runtime.hpp"

namespace process {
namespace http {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

// libprocess's HTTP parser takes heads up to 80 KiB.
constexpr size_t HEAD_LIMIT = 80 * 1024;

// What a broken body gives the reader, as libprocess's decoder words it.
constexpr char BROKEN_BODY[] = "failed to decode body";


class Link
{
public:
  virtual ~Link() = default;

  virtual void open(std::function<void(const Option<std::string>&)> done) = 0;
  virtual Future<Response> send(const Request& request, bool streamed) = 0;
  virtual Future<Nothing> disconnect(const Option<std::string>& message) = 0;
  virtual Future<Nothing> disconnected() = 0;
};


template <typename Stream>
class StreamLink : public Link,
                   public std::enable_shared_from_this<StreamLink<Stream>>
{
public:
  StreamLink(
      Stream&& stream,
      const tcp::endpoint& endpoint,
      const Option<std::string>& hostname,
      const net::IP& ip)
    : stream_(std::move(stream)),
      endpoint_(endpoint),
      hostname_(hostname),
      ip_(ip),
      peer_(stringify(network::inet::Address(ip, endpoint.port()))),
      bodyLimit_(maxResponseBodySize()) {}

  void open(std::function<void(const Option<std::string>&)> done) override
  {
    std::shared_ptr<StreamLink> self = this->shared_from_this();
    asio::post(internal::io(), [self, done]() {
      if (self->closed_) {
        done(Option<std::string>("Disconnected"));
        return;
      }
      internal::openStream(
          self->stream_, self->endpoint_, self->hostname_, self->ip_,
          self->peer_,
          [self, done](const Option<std::string>& error) {
            if (error.isSome()) {
              self->close(error.get());
            }
            done(self->closed_ && error.isNone()
                   ? Option<std::string>("Disconnected")
                   : error);
          });
    });
  }

  Future<Response> send(const Request& request, bool streamed) override
  {
    if (request.type == Request::PIPE) {
      return Failure("Streamed requests are not supported");
    }

    auto promise = std::make_shared<Promise<Response>>();
    const Future<Response> future = promise->future();

    std::shared_ptr<StreamLink> self = this->shared_from_this();
    std::string wire = internal::encodeRequest(request);
    const bool keepAlive = request.keepAlive;
    asio::post(
        internal::io(),
        [self, promise, streamed, keepAlive, wire = std::move(wire)]() mutable {
          if (self->closed_) {
            promise->fail("Disconnected");
            return;
          }
          if (self->closeAfter_) {
            promise->fail("Cannot pipeline after 'Connection: close'");
            return;
          }
          if (!keepAlive) {
            self->closeAfter_ = true;
          }
          self->pipeline_.push_back(Pending{streamed, promise});
          self->writes_.push_back(std::move(wire));
          self->write();
          self->readHead();
        });

    return future;
  }

  Future<Nothing> disconnect(const Option<std::string>& message) override
  {
    auto done = std::make_shared<Promise<Nothing>>();
    std::shared_ptr<StreamLink> self = this->shared_from_this();
    asio::post(internal::io(), [self, message, done]() {
      self->close(message.getOrElse("Disconnected"));
      done->set(Nothing());
    });
    return done->future();
  }

  Future<Nothing> disconnected() override
  {
    return disconnection_.future();
  }

private:
  struct Pending
  {
    bool streamed;
    std::shared_ptr<Promise<Response>> promise;
  };

  void write()
  {
    if (writing_ || writes_.empty() || closed_) {
      return;
    }
    writing_ = true;

    std::shared_ptr<StreamLink> self = this->shared_from_this();
    asio::async_write(
        stream_,
        asio::buffer(writes_.front()),
        [self](const beast::error_code& error, size_t) {
          self->writing_ = false;
          if (self->closed_) {
            return;
          }
          if (error) {
            self->close(
                "Failed to send request to " + self->peer_ + ": " +
                error.message());
            return;
          }
          self->writes_.pop_front();
          self->write();
        });
  }

  // Starts reading the next answer's head, if one is due and none is being
  // read.
  void readHead()
  {
    if (reading_ || closed_ || pipeline_.empty()) {
      return;
    }
    reading_ = true;

    parser_.emplace();
    parser_->header_limit(HEAD_LIMIT);
    // No bound: the reader decides how much to read. (Beast 1.74 compares a
    // declared length with an unset limit as if the limit were lower.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());

    std::shared_ptr<StreamLink> self = this->shared_from_this();
    beast::http::async_read_header(
        stream_, buffer_, *parser_,
        [self](const beast::error_code& error, size_t) {
          self->headRead(error);
        });
  }

  void headRead(const beast::error_code& error)
  {
    if (closed_) {
      return;
    }
    if (error) {
      VLOG(2) << "Reading an answer's head from " << peer_
              << " failed: " << error.message();
      close(failure(error));
      return;
    }

    auto& message = parser_->get();
    const unsigned code = message.result_int();
    if (code > std::numeric_limits<uint16_t>::max() ||
        !Status::known(static_cast<uint16_t>(code))) {
      close("Failed to decode response");
      return;
    }

    Response response;
    response.code = static_cast<uint16_t>(code);
    response.status = Status::string(response.code);
    internal::copyHeaders(message, &response.headers);

    const Pending pending = pipeline_.front();
    pipeline_.pop_front();

    if (pending.streamed) {
      Pipe pipe;
      response.type = Response::PIPE;
      response.reader = pipe.reader();
      writer_ = pipe.writer();
      pending.promise->set(response);
    } else {
      response.type = Response::BODY;
      current_ = pending.promise;
      currentResponse_ = response;
    }

    if (response.headers.get("Connection") == Option<std::string>("close")) {
      closeAfter_ = true;
      while (!pipeline_.empty()) {
        pipeline_.front().promise->fail(
            "Received 'Connection: close' from the server");
        pipeline_.pop_front();
      }
    }

    readBody();
  }

  void readBody()
  {
    if (parser_->is_done()) {
      bodyDone();
      return;
    }

    std::shared_ptr<StreamLink> self = this->shared_from_this();
    beast::http::async_read_some(
        stream_, buffer_, *parser_,
        [self](const beast::error_code& error, size_t) {
          self->bodyRead(error);
        });
  }

  void bodyRead(const beast::error_code& error)
  {
    if (closed_) {
      return;
    }

    auto& body = parser_->get().body();
    if (body.size() > 0) {
      std::string chunk = beast::buffers_to_string(body.data());
      body.consume(body.size());

      if (writer_.isSome()) {
        // Dropped when the reader has closed its end; the socket is still
        // read, as libprocess reads it.
        writer_->write(std::move(chunk));
      } else {
        currentResponse_.body += chunk;
        if (currentResponse_.body.size() > bodyLimit_) {
          close(
              "Failed to receive response from " + peer_ +
              ": the body exceeds the limit of " + stringify(bodyLimit_) +
              " bytes");
          return;
        }
      }
    }

    if (error) {
      close(failure(error));
      return;
    }

    readBody();
  }

  void bodyDone()
  {
    if (writer_.isSome()) {
      writer_->close();
      writer_ = None();
    } else if (current_ != nullptr) {
      std::shared_ptr<Promise<Response>> done = std::move(current_);
      current_ = nullptr;
      done->set(std::move(currentResponse_));
      currentResponse_ = Response();
    }

    reading_ = false;
    if (closeAfter_ && pipeline_.empty()) {
      close("Disconnected");
      return;
    }
    readHead();
  }

  // What a failed read means for the answer being read.
  std::string failure(const beast::error_code& error) const
  {
    if (error == beast::http::error::end_of_stream ||
        error == beast::http::error::partial_message ||
        error == asio::error::eof ||
        error == asio::error::connection_reset ||
        error == asio::ssl::error::stream_truncated) {
      return "Disconnected";
    }
    if (internal::isParseError(error)) {
      return "Failed to decode response";
    }
    return "Failed to receive response from " + peer_ + ": " + error.message();
  }

  // Closes the socket and ends everything still due with `message`; a body
  // that was streaming fails its reader as libprocess's decoder fails it.
  void close(const std::string& message)
  {
    if (closed_) {
      return;
    }
    VLOG(1) << "Connection to " << peer_ << " closed: " << message;
    closed_ = true;
    internal::closeStream(stream_);

    if (writer_.isSome()) {
      writer_->fail(BROKEN_BODY);
      writer_ = None();
    }
    if (current_ != nullptr) {
      current_->fail(message);
      current_ = nullptr;
    }
    while (!pipeline_.empty()) {
      pipeline_.front().promise->fail(message);
      pipeline_.pop_front();
    }
    disconnection_.set(Nothing());
  }

  Stream stream_;
  const tcp::endpoint endpoint_;
  const Option<std::string> hostname_;
  const net::IP ip_;
  const std::string peer_;

  // The bound on a body that is read whole (not streamed).
  const size_t bodyLimit_;

  std::deque<Pending> pipeline_;
  std::deque<std::string> writes_;
  bool writing_ = false;
  bool reading_ = false;
  bool closeAfter_ = false;
  bool closed_ = false;

  beast::flat_buffer buffer_;
  boost::optional<beast::http::response_parser<beast::http::dynamic_body>>
    parser_;

  // The answer being read: streamed into `writer_`, or whole into
  // `currentResponse_` for `current_`.
  Option<Pipe::Writer> writer_;
  std::shared_ptr<Promise<Response>> current_;
  Response currentResponse_;

  Promise<Nothing> disconnection_;
};


Future<Connection> open(
    const std::function<Connection(const std::shared_ptr<Link>&)>& wrap,
    const net::IP& ip,
    uint16_t port,
    Scheme scheme,
    const Option<std::string>& hostname)
{
  process::initialize();

  const tcp::endpoint endpoint(
      asio::ip::address_v4(ntohl(ip.in().get().s_addr)), port);

  std::shared_ptr<Link> link;
  try {
    if (scheme == Scheme::HTTP) {
      link = std::make_shared<StreamLink<beast::tcp_stream>>(
          beast::tcp_stream(internal::io()), endpoint, hostname, ip);
    } else {
      Try<std::shared_ptr<asio::ssl::context>> context =
        network::openssl::context();
      if (context.isError()) {
        return Failure("Failed to create socket: " + context.error());
      }
      typedef beast::ssl_stream<beast::tcp_stream> TlsStream;
      link = std::make_shared<StreamLink<TlsStream>>(
          TlsStream(internal::io(), *context.get()), endpoint, hostname, ip);
    }
  } catch (const std::exception& e) {
    return Failure(std::string("Failed to create socket: ") + e.what());
  }

  auto promise = std::make_shared<Promise<Connection>>();
  const Future<Connection> future = promise->future();

  // A connection nobody waits for any more is not made.
  std::weak_ptr<Link> weak = link;
  future.onDiscard([weak]() {
    std::shared_ptr<Link> link = weak.lock();
    if (link != nullptr) {
      link->disconnect(None());
    }
  });

  link->open([link, promise, wrap](const Option<std::string>& error) {
    if (error.isSome()) {
      promise->fail(error.get());
    } else if (promise->future().hasDiscard()) {
      link->disconnect(None());
      promise->discard();
    } else {
      promise->set(wrap(link));
    }
  });

  return future;
}

} // namespace {


struct Connection::Data
{
  explicit Data(const std::shared_ptr<Link>& _link) : link(_link) {}

  // The last copy of the connection closes it.
  ~Data() { link->disconnect(std::string("Connection object was destructed")); }

  std::shared_ptr<Link> link;
};


Future<Response> Connection::send(const Request& request, bool streamedResponse)
{
  return data->link->send(request, streamedResponse);
}


Future<Nothing> Connection::disconnect()
{
  return data->link->disconnect(None());
}


Future<Nothing> Connection::disconnected()
{
  return data->link->disconnected();
}


Future<Connection> connect(const network::Address& address, Scheme scheme)
{
  Try<network::inet::Address> inet = network::convert<network::inet::Address>(
      Try<network::Address>(address));
  if (inet.isError()) {
    return Failure(inet.error());
  }

  return open(
      [](const std::shared_ptr<Link>& link) {
        return Connection(std::make_shared<Connection::Data>(link));
      },
      inet->ip, inet->port, scheme, None());
}


Future<Connection> connect(const URL& url)
{
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

  Scheme scheme;
  if (url.scheme.isNone() || url.scheme.get() == "http") {
    scheme = Scheme::HTTP;
  } else if (url.scheme.get() == "https") {
    scheme = Scheme::HTTPS;
  } else {
    return Failure("Unsupported URL scheme");
  }

  return open(
      [](const std::shared_ptr<Link>& link) {
        return Connection(std::make_shared<Connection::Data>(link));
      },
      ip, url.port.get(), scheme, url.domain);
}

} // namespace http {
} // namespace process {
