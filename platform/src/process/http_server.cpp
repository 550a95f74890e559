// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <netdb.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <glog/logging.h>

#include <process/http.hpp>
#include <process/message.hpp>
#include <process/process.hpp>
#include <process/ssl/flags.hpp>

#include <stout/ip.hpp>
#include <stout/none.hpp>
#include <stout/numify.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>
#include <stout/os/getenv.hpp>

#include "beast_support.hpp"
#include "openssl.hpp"
#include "request_parser.hpp"
#include "runtime.hpp"

// The HTTP server of this process. It accepts connections on the process's
// address and reads one request at a time from each; a request goes to the
// actor named by its first path segment (see routeHttp), and its response
// is written before the next request is read. With SSL enabled connections
// are TLS, or either TLS or plain with support_downgrade. A connection that
// sends garbage is closed without an answer, as libprocess closes it;
// other connections are not affected.

namespace process {
namespace internal {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

// Largest request head accepted: that of libprocess's HTTP parser.
constexpr uint32_t MAX_HEAD = 80 * 1024;

// Largest request body accepted.
constexpr uint64_t MAX_BODY = 64 * 1024 * 1024;

// How long a request head may take once its first byte has come, and a
// TLS handshake (with the first bytes that tell TLS from plain HTTP) from
// the connection's start. libprocess 1.2.0 waits for either without end,
// so that a peer holds a connection, and its buffers, for as long as it
// likes.
constexpr std::chrono::seconds HEAD_LIMIT(5);
constexpr std::chrono::seconds HANDSHAKE_LIMIT(5);

// What the first read of an idle connection takes in.
constexpr size_t FIRST_READ = 4096;

// How long accepting pauses after it failed, for example with every
// descriptor in use: accepting again at once would fail at once.
constexpr std::chrono::milliseconds ACCEPT_PAUSE(100);

// Most request body bytes held by all connections at once; a request whose
// body would pass it is answered "503 Service Unavailable". Counted from
// the moment a body is read until its response has been written.
constexpr uint64_t MAX_BUFFERED_BODIES = 256 * 1024 * 1024;

std::atomic<uint64_t> bufferedBodies{0};


network::Address toAddress(const tcp::endpoint& endpoint)
{
  sockaddr_storage storage = {};
  memcpy(&storage, endpoint.data(), endpoint.size());
  Try<network::Address> address = network::Address::create(storage);
  return address.get();
}


// Splits a request target into path, decoded query and fragment; only
// the pieces are copied out of the parser's buffer.
Try<Nothing> parseTarget(beast::string_view target, http::URL* url)
{
  beast::string_view rest = target;

  const size_t hash = rest.find('#');
  if (hash != beast::string_view::npos) {
    url->fragment = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }

  const size_t question = rest.find('?');
  if (question != beast::string_view::npos) {
    Try<hashmap<std::string, std::string>> query =
      http::query::decode(std::string(rest.substr(question + 1)));
    if (query.isError()) {
      return Error(query.error());
    }
    url->query = std::move(query.get());
    rest = rest.substr(0, question);
  }

  url->path = std::string(rest);
  return Nothing();
}


// Whether a request is a message of a libprocess peer: a POST whose
// User-Agent is libprocess's or that names its sender.
bool isMessage(const http::Request& request)
{
  if (request.method != "POST") {
    return false;
  }
  const auto agent = request.headers.find("User-Agent");
  return (agent != request.headers.end() &&
          strings::startsWith(agent->second, "libprocess/")) ||
         request.headers.contains("Libprocess-From");
}


// The message in a request "POST /<id>/<name>": to the local actor <id>,
// from the sender named by Libprocess-From, else by the User-Agent.
Try<Message> parseMessage(
    http::Request& request,
    const network::inet::Address& local)
{
  const std::string& path = request.url.path;
  const size_t slash = path.find('/', 1);
  if (path.empty() || path[0] != '/' || slash == std::string::npos) {
    return Error("no actor and message name in '" + path + "'");
  }

  Try<std::string> id = http::decode(path.substr(1, slash - 1));
  if (id.isError()) {
    return Error("malformed actor id in '" + path + "': " + id.error());
  }

  Message message;
  message.name = path.substr(slash + 1);
  message.to = UPID(id.get(), local);
  message.body = std::move(request.body);

  const Option<std::string> from = request.headers.get("Libprocess-From");
  const std::string sender = from.isSome()
    ? strings::trim(from.get())
    : request.headers.get("User-Agent").getOrElse("").substr(
          std::string("libprocess/").size());

  // libprocess writes its senders with IP addresses. A name would be
  // resolved here, on the network thread, where one resolver that does not
  // answer would stop every connection.
  const size_t at = sender.find('@');
  const size_t colon = sender.rfind(':');
  if (at == std::string::npos || colon == std::string::npos || colon < at ||
      net::IP::parse(sender.substr(at + 1, colon - at - 1), AF_INET)
        .isError()) {
    return Error(
        "its sender '" + sender.substr(0, 256) + "' does not name an IP "
        "address");
  }
  message.from = UPID(sender);

  return message;
}


// The IPv4 address of a peer, if it has one.
Option<net::IP> peerIp(const tcp::endpoint& peer)
{
  if (!peer.address().is_v4()) {
    return None();
  }
  return net::IP(static_cast<uint32_t>(peer.address().to_v4().to_uint()));
}


// How long a peer's name may take to look up for the certificate check,
// and how many lookups may be under way at once; past either the check
// goes on without the name.
constexpr std::chrono::seconds HOSTNAME_LOOKUP_LIMIT(2);
constexpr size_t MAX_HOSTNAME_LOOKUPS = 16;

// Lookups under way; used on the io thread only.
size_t hostnameLookups = 0;

// Calls `done` on the io thread with the name that the peer's address
// resolves to, or none: when peer certificates are not verified (the name
// is not needed), when the lookup fails or takes longer than its limit,
// or when too many are under way. The lookup runs on a thread of its own:
// on the io thread one resolver that does not answer would stop every
// connection.
void lookUpPeerHostname(
    const tcp::endpoint& peer,
    std::function<void(const Option<std::string>&)> done)
{
  if (!network::openssl::flags().verify_cert) {
    done(None());
    return;
  }

  if (hostnameLookups >= MAX_HOSTNAME_LOOKUPS) {
    LOG_EVERY_T(WARNING, 1)
      << "Checking the certificate of " << peer << " without its hostname: "
      << hostnameLookups << " lookups are under way";
    done(None());
    return;
  }

  struct Lookup
  {
    explicit Lookup(asio::io_context& io) : limit(io) {}

    std::function<void(const Option<std::string>&)> done;
    asio::steady_timer limit;
    bool finished = false;
  };

  std::shared_ptr<Lookup> lookup = std::make_shared<Lookup>(io());
  lookup->done = std::move(done);
  lookup->limit.expires_after(HOSTNAME_LOOKUP_LIMIT);
  lookup->limit.async_wait([lookup, peer](const beast::error_code& error) {
    if (error || lookup->finished) {
      return;
    }
    lookup->finished = true;
    VLOG(1) << "Looking up the hostname of " << peer << " took longer than "
            << HOSTNAME_LOOKUP_LIMIT.count() << " seconds";
    lookup->done(None());
  });

  ++hostnameLookups;
  sockaddr_storage storage = {};
  const socklen_t length = static_cast<socklen_t>(peer.size());
  memcpy(&storage, peer.data(), peer.size());
  std::thread([lookup = std::move(lookup), storage, length, peer]() mutable {
    char host[NI_MAXHOST] = {};
    Option<std::string> hostname;
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&storage), length, host,
                    sizeof(host), nullptr, 0, NI_NAMEREQD) == 0) {
      hostname = std::string(host);
    } else {
      VLOG(2) << "Could not determine hostname of peer " << peer;
    }
    // The lookup's state is the io thread's: this thread keeps no share.
    asio::post(io(), [lookup = std::move(lookup), hostname]() {
      --hostnameLookups;
      if (lookup->finished) {
        return;
      }
      lookup->finished = true;
      lookup->limit.cancel();
      lookup->done(hostname);
    });
  }).detach();
}


template <typename Stream>
class Session : public std::enable_shared_from_this<Session<Stream>>
{
public:
  Session(Stream&& stream, beast::flat_buffer&& buffer, const tcp::endpoint& peer)
    : stream_(std::move(stream)), buffer_(std::move(buffer)), peer_(peer) {}

  void start()
  {
    if constexpr (std::is_same<Stream, beast::tcp_stream>::value) {
      read();
    } else {
      std::shared_ptr<Session> self = this->shared_from_this();
      beast::get_lowest_layer(stream_).expires_after(HANDSHAKE_LIMIT);
      stream_.async_handshake(
          asio::ssl::stream_base::server,
          buffer_.data(),
          [self](const beast::error_code& error, size_t used) {
            self->buffer_.consume(used);
            if (error) {
              VLOG(1) << "SSL handshake with " << self->peer_
                      << " failed: " << error.message();
              self->close();
              return;
            }
            beast::get_lowest_layer(self->stream_).expires_never();
            // As libprocess's accept does: the peer's address and the
            // name it resolves to, for the certificate to match.
            lookUpPeerHostname(
                self->peer_, [self](const Option<std::string>& hostname) {
                  Try<Nothing> verified = network::openssl::verify(
                      self->stream_.native_handle(),
                      hostname,
                      peerIp(self->peer_));
                  if (verified.isError()) {
                    VLOG(1) << "Rejecting " << self->peer_ << ": "
                            << verified.error();
                    self->close();
                    return;
                  }
                  self->read();
                });
          });
    }
  }

  ~Session() { release(); }

private:
  // Reads the head of the next request; its body, if any, is read only
  // when the actor asks for it (see readBody), after authentication. An
  // idle connection may wait for ever, but once the head has begun it must
  // be whole within HEAD_LIMIT.
  void read()
  {
    parser_.emplace();
    parser_->header_limit(MAX_HEAD);
    parser_->body_limit(MAX_BODY);
    refusal_ = None();

    std::shared_ptr<Session> self = this->shared_from_this();
    if (buffer_.size() > 0) {
      readHead();
      return;
    }

    stream_.async_read_some(
        buffer_.prepare(FIRST_READ),
        [self](const beast::error_code& error, size_t read) {
          if (error) {
            VLOG(2) << "Connection from " << self->peer_
                    << " ended: " << error.message();
            self->close();
            return;
          }
          self->buffer_.commit(read);
          self->readHead();
        });
  }

  void readHead()
  {
    beast::get_lowest_layer(stream_).expires_after(HEAD_LIMIT);
    std::shared_ptr<Session> self = this->shared_from_this();
    beast::http::async_read_header(
        stream_,
        buffer_,
        *parser_,
        [self](const beast::error_code& error, size_t) {
          beast::get_lowest_layer(self->stream_).expires_never();
          if (error == beast::error::timeout) {
            VLOG(1) << "Closing the connection from " << self->peer_
                    << ": no whole request head within "
                    << HEAD_LIMIT.count() << " seconds";
            self->close();
            return;
          }
          self->received(error);
        });
  }

  void received(const beast::error_code& error)
  {
    if (error == beast::http::error::end_of_stream) {
      close();
      return;
    }

    if (error == beast::http::error::body_limit) {
      refuse(tooLarge());
      return;
    }

    // As libprocess's server does, a request that cannot be decoded (a
    // head beyond the parser's 80 KiB among them) gets no answer: the
    // connection is closed.
    if (error && isParseError(error)) {
      VLOG(1) << "Decoder error while receiving from " << peer_ << ": "
              << error.message();
      close();
      return;
    }

    if (error) {
      VLOG(2) << "Connection from " << peer_ << " ended: " << error.message();
      close();
      return;
    }

    http::Request request;
    request.method = parser_->method;
    request.keepAlive = parser_->keep_alive();
    request.client = toAddress(peer_);
    for (const auto& [name, value] : parser_->fields) {
      request.headers[name] = value;
    }
    version_ = parser_->version;
    const Option<std::string> expect = request.headers.get("Expect");
    expectsContinue_ =
      expect.isSome() && beast::iequals(expect.get(), "100-continue");

    Try<Nothing> target = parseTarget(parser_->target, &request.url);
    if (target.isError()) {
      VLOG(1) << "Decoder error while receiving from " << peer_ << ": "
              << target.error();
      close();
      return;
    }

    bodyUnread_ = !parser_->is_done();

    if (isMessage(request)) {
      receiveMessage(std::move(request));
      return;
    }

    const bool keepAlive = request.keepAlive;
    std::shared_ptr<Session> self = this->shared_from_this();

    auto respond = [self, keepAlive](const Future<http::Response>& future) {
      asio::post(internal::io(), [self, keepAlive, future]() {
        if (self->refusal_.isSome()) {
          self->refuse(self->refusal_.get());
        } else if (future.isReady()) {
          self->reply(future.get(), keepAlive);
        } else {
          self->reply(
              http::InternalServerError(
                  future.isFailed() ? future.failure() : "discarded future"),
              keepAlive);
        }
      });
    };

    if (!bodyUnread_) {
      internal::routeHttp(std::move(request), respond);
      return;
    }

    internal::routeHttp(
        std::move(request),
        respond,
        [self](const std::shared_ptr<http::Request>& request) {
          return self->readBody(request);
        });
  }

  // A message from a libprocess peer: read whole, queued for its actor.
  void receiveMessage(http::Request&& head)
  {
    std::shared_ptr<http::Request> request =
      std::make_shared<http::Request>(std::move(head));

    if (!bodyUnread_) {
      deliver(*request);
      return;
    }

    // The body is set on the io thread, and so this runs there too.
    std::shared_ptr<Session> self = this->shared_from_this();
    readBody(request).onAny([self, request](const Future<Nothing>& read) {
      if (read.isReady()) {
        self->deliver(*request);
      } else if (self->refusal_.isSome()) {
        self->refuse(self->refusal_.get());
      } else {
        self->close();
      }
    });
  }

  void deliver(http::Request& request)
  {
    const Option<std::string> agent = request.headers.get("User-Agent");
    const bool libprocess = agent.isSome() &&
      agent->find("libprocess/") != std::string::npos;

    Try<Message> message = parseMessage(request, process::address());
    bool delivered = false;
    if (message.isError()) {
      LOG_EVERY_T(WARNING, 1) << "Dropping a message from " << peer_ << ": "
                              << message.error();
    } else {
      delivered = internal::deliverMessage(std::move(message.get()));
    }

    // Libprocess peers expect no answer; they read on as they send.
    if (libprocess) {
      parser_.reset();
      release();
      read();
      return;
    }

    reply(
        delivered ? http::Response(http::Accepted())
                  : http::Response(http::NotFound()),
        request.keepAlive);
  }

  // Called by the actor, on any thread: reads the body into `request`.
  Future<Nothing> readBody(const std::shared_ptr<http::Request>& request)
  {
    std::shared_ptr<Promise<Nothing>> promise =
      std::make_shared<Promise<Nothing>>();
    std::shared_ptr<Session> self = this->shared_from_this();

    asio::post(internal::io(), [self, request, promise]() {
      const boost::optional<uint64_t> length = self->parser_->content_length();
      if (length && !self->charge(length.get())) {
        self->refuseBody(promise);
        return;
      }

      if (!self->expectsContinue_) {
        self->readSome(request, promise);
        return;
      }

      // The client waits for this before it sends the body.
      auto interim = std::make_shared<
          beast::http::response<beast::http::empty_body>>(
              beast::http::status::continue_, self->version_);
      beast::http::async_write(
          self->stream_,
          *interim,
          [self, interim, request, promise](
              const beast::error_code& error, size_t) {
            if (error) {
              self->failBody(promise, error);
              return;
            }
            self->readSome(request, promise);
          });
    });

    return promise->future();
  }

  void readSome(
      const std::shared_ptr<http::Request>& request,
      const std::shared_ptr<Promise<Nothing>>& promise)
  {
    // A body of unknown length is charged as it grows.
    const uint64_t held = parser_->body.capacity();
    if (held > charged_ && !charge(held - charged_)) {
      refuseBody(promise);
      return;
    }

    if (parser_->is_done()) {
      bodyUnread_ = false;
      request->body = std::move(parser_->body);
      promise->set(Nothing());
      return;
    }

    std::shared_ptr<Session> self = this->shared_from_this();
    beast::http::async_read_some(
        stream_,
        buffer_,
        *parser_,
        [self, request, promise](const beast::error_code& error, size_t) {
          if (error == beast::http::error::body_limit) {
            self->refusal_ = self->tooLarge();
            promise->fail(
                "Request body larger than " + stringify(MAX_BODY) + " bytes");
            return;
          }
          if (error) {
            self->failBody(promise, error);
            return;
          }
          self->readSome(request, promise);
        });
  }

  // Adds `bytes` to what all connections hold; false, adding nothing, when
  // that would pass the bound.
  bool charge(uint64_t bytes)
  {
    uint64_t held = bufferedBodies.load();
    do {
      if (held + bytes > MAX_BUFFERED_BODIES) {
        return false;
      }
    } while (!bufferedBodies.compare_exchange_weak(held, held + bytes));
    charged_ += bytes;
    return true;
  }

  void release()
  {
    bufferedBodies -= charged_;
    charged_ = 0;
  }

  void refuseBody(const std::shared_ptr<Promise<Nothing>>& promise)
  {
    VLOG(1) << "Returning '503 Service Unavailable' to " << peer_
            << ": too many request bodies held at once";
    refusal_ = http::ServiceUnavailable(
        "Too many request bodies are being received; try again later");
    promise->fail("Too many request bodies are being received");
  }

  void failBody(
      const std::shared_ptr<Promise<Nothing>>& promise,
      const beast::error_code& error)
  {
    VLOG(2) << "Failed to read a request body from " << peer_ << ": "
            << error.message();
    promise->fail("Failed to read the request body: " + error.message());
  }

  static http::Response tooLarge()
  {
    return http::Response(
        "Request body larger than " + stringify(MAX_BODY) + " bytes",
        http::Status::REQUEST_ENTITY_TOO_LARGE);
  }

  // Answers and closes: the rest of the request was not read.
  void refuse(const http::Response& response)
  {
    bodyUnread_ = true;
    reply(response, false);
  }

  void reply(http::Response response, bool keepAlive)
  {
    if (response.type == http::Response::PATH ||
        response.type == http::Response::PIPE) {
      response = http::InternalServerError(
          "Responses of type PATH or PIPE are not supported");
    }

    if (response.code < 100 || response.code > 999) {
      response = http::InternalServerError(
          "Response without a valid status code");
    }

    auto message = std::make_shared<
        beast::http::response<beast::http::string_body>>();
    message->version(version_);
    message->result(response.code);

    // The reason phrase is the status text after its code.
    const std::string code = stringify(response.code) + " ";
    std::string status =
      response.status.empty() ? http::Status::string(response.code)
                              : response.status;
    if (status.compare(0, code.size(), code) == 0) {
      status = status.substr(code.size());
    }
    message->reason(status);

    for (const auto& header : response.headers) {
      message->set(header.first, header.second);
    }
    message->body() = std::move(response.body);
    // A connection whose request body was never read cannot carry another
    // request.
    keepAlive = keepAlive && !bodyUnread_;
    message->keep_alive(keepAlive);
    message->prepare_payload();

    // The request is done with: its body no longer counts.
    parser_.reset();
    release();

    std::shared_ptr<Session> self = this->shared_from_this();
    beast::http::async_write(
        stream_,
        *message,
        [self, message, keepAlive](const beast::error_code& error, size_t) {
          if (error) {
            VLOG(2) << "Failed to send response to " << self->peer_ << ": "
                    << error.message();
            self->close();
          } else if (keepAlive) {
            self->read();
          } else {
            self->close();
          }
        });
  }

  void close() { closeStream(stream_); }

  Stream stream_;
  beast::flat_buffer buffer_;
  const tcp::endpoint peer_;
  std::optional<RequestParser> parser_;
  unsigned version_ = 11;
  bool expectsContinue_ = false;
  bool bodyUnread_ = false;
  uint64_t charged_ = 0;
  // Set when the body was refused: the answer instead of the actor's.
  Option<http::Response> refusal_;
};


typedef beast::ssl_stream<beast::tcp_stream> TlsStream;


// Looks at the first bytes of a connection to tell TLS from plain HTTP.
class Detector : public std::enable_shared_from_this<Detector>
{
public:
  Detector(tcp::socket&& socket, const tcp::endpoint& peer)
    : stream_(std::move(socket)), peer_(peer) {}

  void start()
  {
    stream_.expires_after(HANDSHAKE_LIMIT);
    std::shared_ptr<Detector> self = shared_from_this();
    beast::async_detect_ssl(
        stream_,
        buffer_,
        [self](const beast::error_code& error, bool tls) {
          self->detected(error, tls);
        });
  }

private:
  void detected(const beast::error_code& error, bool tls)
  {
    // The handshake's own limit, if TLS, starts afresh with it.
    stream_.expires_never();
    if (error) {
      VLOG(2) << "Connection from " << peer_ << " ended: " << error.message();
      return;
    }

    Try<std::shared_ptr<asio::ssl::context>> context =
      network::openssl::context();

    if (tls && context.isSome()) {
      std::make_shared<Session<TlsStream>>(
          TlsStream(std::move(stream_), *context.get()),
          std::move(buffer_),
          peer_)->start();
    } else if (!tls && network::openssl::flags().support_downgrade) {
      std::make_shared<Session<beast::tcp_stream>>(
          std::move(stream_), std::move(buffer_), peer_)->start();
    } else {
      VLOG(1) << "Closing connection from " << peer_ << ": "
              << (tls ? context.error() : "SSL required");
      beast::error_code ignored;
      stream_.socket().close(ignored);
    }
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  const tcp::endpoint peer_;
};


class Server
{
public:
  explicit Server(asio::io_context& io) : acceptor_(io), pause_(io) {}

  Try<tcp::endpoint> listen(const tcp::endpoint& endpoint)
  {
    beast::error_code error;
    acceptor_.open(endpoint.protocol(), error);
    if (!error) {
      acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
      acceptor_.bind(endpoint, error);
    }
    if (!error) {
      acceptor_.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
      return Error(
          "Failed to bind on " + endpoint.address().to_string() + ":" +
          stringify(endpoint.port()) + ": " + error.message());
    }

    tcp::endpoint bound = acceptor_.local_endpoint(error);
    if (error) {
      return Error("Failed to get the bound address: " + error.message());
    }

    asio::post(acceptor_.get_executor(), [this]() { accept(); });
    return bound;
  }

private:
  void accept()
  {
    acceptor_.async_accept([this](const beast::error_code& error, tcp::socket socket) {
      if (error) {
        LOG_EVERY_T(WARNING, 1)
          << "Failed to accept a connection: " << error.message();
        pause_.expires_after(ACCEPT_PAUSE);
        pause_.async_wait([this](const beast::error_code&) { accept(); });
        return;
      }
      serve(std::move(socket));
      accept();
    });
  }

  void serve(tcp::socket&& socket)
  {
    beast::error_code error;
    const tcp::endpoint peer = socket.remote_endpoint(error);
    if (error) {
      return;
    }

    if (network::openssl::flags().enabled) {
      std::make_shared<Detector>(std::move(socket), peer)->start();
    } else {
      std::make_shared<Session<beast::tcp_stream>>(
          beast::tcp_stream(std::move(socket)), beast::flat_buffer(), peer)
        ->start();
    }
  }

  tcp::acceptor acceptor_;
  asio::steady_timer pause_;
};


// Runs the io_context for ever; a handler that throws is logged and the
// loop goes on.
void runIo(asio::io_context* io)
{
  while (true) {
    try {
      io->run();
      return;
    } catch (const std::exception& e) {
      LOG(ERROR) << "Unexpected exception on the io thread: " << e.what();
    }
  }
}


Try<net::IP> advertisedIp(const net::IP& bound)
{
  if (!bound.isAny()) {
    return bound;
  }
  // Listening on every interface: name the host by its own address.
  char hostname[256] = {};
  if (::gethostname(hostname, sizeof(hostname) - 1) == 0) {
    Try<net::IP> ip = resolve(hostname);
    if (ip.isSome()) {
      return ip;
    }
  }
  return net::IP(INADDR_LOOPBACK);
}

} // namespace {


namespace {

asio::io_context* ioContext = nullptr;
asio::executor_work_guard<asio::io_context::executor_type>* ioWork = nullptr;
std::thread* ioThread = nullptr;


// Stops the io thread at exit, before OpenSSL cleans up after itself: a TLS
// handshake still under way would otherwise use freed OpenSSL state.
void stopIo()
{
  ioWork->reset();
  ioContext->stop();
  if (std::this_thread::get_id() != ioThread->get_id()) {
    ioThread->join();
  }
}

} // namespace {


boost::asio::io_context& io()
{
  // The context is never destroyed; its thread stops at exit.
  static asio::io_context* io = []() {
    // OpenSSL registers its own exit handler when initialized; ours,
    // registered after it, runs before it.
    OPENSSL_init_ssl(0, nullptr);

    ioContext = new asio::io_context(1);
    ioWork = new asio::executor_work_guard<asio::io_context::executor_type>(
        ioContext->get_executor());
    ioThread = new std::thread(&runIo, ioContext);
    std::atexit(&stopIo);
    return ioContext;
  }();
  return *io;
}


Try<network::inet::Address> startServer()
{
  net::IP ip(INADDR_LOOPBACK);
  uint16_t port = 0;

  Option<std::string> ipValue = os::getenv("LIBPROCESS_IP");
  if (ipValue.isSome()) {
    Try<net::IP> parsed = net::IP::parse(ipValue.get(), AF_INET);
    if (parsed.isError()) {
      return Error(
          "Failed to parse the value of LIBPROCESS_IP '" + ipValue.get() +
          "': " + parsed.error());
    }
    ip = parsed.get();
  }

  Option<std::string> portValue = os::getenv("LIBPROCESS_PORT");
  if (portValue.isSome()) {
    Try<uint16_t> parsed = numify<uint16_t>(portValue.get());
    if (parsed.isError()) {
      return Error(
          "Failed to parse the value of LIBPROCESS_PORT '" + portValue.get() +
          "': " + parsed.error());
    }
    port = parsed.get();
  }

  // Never destroyed, like the io thread that runs it.
  static Server* server = nullptr;
  server = new Server(io());
  Try<tcp::endpoint> bound = server->listen(
      tcp::endpoint(asio::ip::address_v4(ntohl(ip.in().get().s_addr)), port));
  if (bound.isError()) {
    delete server;
    server = nullptr;
    return Error(bound.error());
  }

  // The address put into this process's UPIDs: where peers answer.
  Try<net::IP> advertised = advertisedIp(ip);
  uint16_t advertisedPort = bound->port();

  Option<std::string> advertiseIp = os::getenv("LIBPROCESS_ADVERTISE_IP");
  if (advertiseIp.isSome()) {
    advertised = net::IP::parse(advertiseIp.get(), AF_INET);
    if (advertised.isError()) {
      return Error(
          "Failed to parse the value of LIBPROCESS_ADVERTISE_IP '" +
          advertiseIp.get() + "': " + advertised.error());
    }
  }

  Option<std::string> advertisePort = os::getenv("LIBPROCESS_ADVERTISE_PORT");
  if (advertisePort.isSome()) {
    Try<uint16_t> parsed = numify<uint16_t>(advertisePort.get());
    if (parsed.isError()) {
      return Error(
          "Failed to parse the value of LIBPROCESS_ADVERTISE_PORT '" +
          advertisePort.get() + "': " + parsed.error());
    }
    advertisedPort = parsed.get();
  }

  return network::inet::Address(advertised.get(), advertisedPort);
}

} // namespace internal {
} // namespace process {
