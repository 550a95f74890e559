// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "support/fault_peer.hpp"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

using namespace ovra_test;

namespace ovra_test {
namespace fault_peer {

class FaultPeer::Impl
{
public:
  typedef boost::asio::ip::tcp tcp;
  typedef std::chrono::milliseconds Wait;

  // A peer on 127.0.0.1:`port` (by default a free port) that answers
  // every request with `handler` (by default "404 Not Found").
  Impl(Handler handler, uint16_t port)
    : handler_(std::move(handler)),
      acceptor_(io_),
      guard_(boost::asio::make_work_guard(io_))
  {
    port_ = open(port);
    accept();
    thread_ = std::thread([this]() { io_.run(); });
  }

  ~Impl()
  {
    boost::asio::post(io_, [this]() { closeAll(); });
    guard_.reset();
    thread_.join();
  }


  // 0 if the port could not be bound.
  uint16_t port() const { return port_; }

  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path = "/") const
  {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  void setHandler(Handler handler)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    handler_ = std::move(handler);
  }

  // The behaviour for every request that has none queued. REFUSE closes
  // the listening socket; any other behaviour listens again on the same
  // port. Returns once the listener is as asked. Not from a handler.
  void setDefault(const Behaviour& behaviour)
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      default_ = behaviour;
    }

    // Shared with the io thread, which may still be in set_value() when
    // this thread wakes and returns.
    const bool listen = behaviour.fault != Fault::REFUSE;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> listening = done->get_future();
    boost::asio::post(io_, [this, listen, done]() {
      if (listen && !acceptor_.is_open()) {
        open(port_);
        accept();
      } else if (!listen && acceptor_.is_open()) {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
      }
      done->set_value();
    });
    listening.wait();
  }

  // The behaviour for the next request, before the default; queued ones
  // are taken in order.
  void enqueue(const Behaviour& behaviour)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back(behaviour);
  }

  // Normal answers wait until release(); the requests are still read and
  // recorded, and their answers made, as they arrive.
  void hold()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = true;
  }

  void release()
  {
    boost::asio::post(io_, [this]() {
      std::vector<std::function<void()>> held;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        holding_ = false;
        held.swap(held_);
      }
      for (auto& answer : held) {
        answer();
      }
    });
  }

  std::vector<Request> requests() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  size_t requestCount() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
  }

  // The n-th request (counting from 1) once it has been read, or nothing
  // if it has not arrived within `limit`.
  std::optional<Request> waitForRequest(size_t n, Wait limit)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(
            lock, limit, [&]() { return requests_.size() >= n; })) {
      return std::nullopt;
    }
    return requests_[n - 1];
  }

  // Whether the client closed the n-th connection (counting from 1 in the
  // order accepted) within `limit`.
  bool waitForClientClose(size_t n, Wait limit)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(
        lock, limit, [&]() { return closedByClient_.count(n) > 0; });
  }

  // Whether the peer has written at least `bytes` bytes, over all
  // connections, within `limit`.
  bool waitForBytesSent(uint64_t bytes, Wait limit)
  {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(
        lock, limit, [&]() { return bytesSent_ >= bytes; });
  }

  uint64_t bytesSent() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytesSent_;
  }

private:
  // Bounds on what the peer reads of a request.
  static constexpr size_t MAX_HEAD = 64 * 1024;
  static constexpr size_t MAX_BODY = 16 * 1024 * 1024;
  static constexpr size_t STREAM_CHUNK = 64 * 1024;

  struct Connection
  {
    Connection(boost::asio::io_context& io, size_t number)
      : socket(io),
        timer(io),
        buffer(MAX_HEAD + MAX_BODY),
        number(number)
    {}

    tcp::socket socket;
    boost::asio::steady_timer timer;
    boost::asio::streambuf buffer;
    const size_t number;
    std::string out;
    size_t offset = 0;
    uint64_t remaining = 0;
    bool clientGone = false;
    bool watching = false;
  };

  typedef std::shared_ptr<Connection> Shared;

  // On the io thread (or before it runs): binds and listens on `port`.
  uint16_t open(uint16_t port)
  {
    boost::system::error_code error;
    const tcp::endpoint endpoint(boost::asio::ip::address_v4::loopback(), port);
    acceptor_.open(endpoint.protocol(), error);
    if (!error) {
      acceptor_.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
      acceptor_.bind(endpoint, error);
    }
    if (!error) {
      acceptor_.listen(64, error);
    }
    if (error) {
      acceptor_.close(error);
      return 0;
    }
    return acceptor_.local_endpoint(error).port();
  }

  void accept()
  {
    if (stopping_ || !acceptor_.is_open()) {
      return;
    }
    Shared connection = std::make_shared<Connection>(io_, ++accepted_);
    acceptor_.async_accept(
        connection->socket,
        [this, connection](const boost::system::error_code& error) {
          if (error) {
            --accepted_;
            if (error != boost::asio::error::operation_aborted) {
              accept();
            }
            return;
          }
          live_.insert(connection);
          readHead(connection);
          accept();
        });
  }

  void readHead(const Shared& connection)
  {
    boost::asio::async_read_until(
        connection->socket,
        connection->buffer,
        "\r\n\r\n",
        [this, connection](const boost::system::error_code& error, size_t n) {
          if (error) {
            clientClosed(connection);
            return;
          }
          headRead(connection, n);
        });
  }

  void headRead(const Shared& connection, size_t length)
  {
    auto begin = boost::asio::buffers_begin(connection->buffer.data());
    Request request;
    request.head = std::string(begin, begin + length);
    connection->buffer.consume(length);
    parseHead(&request);

    size_t contentLength = 0;
    const std::optional<std::string> declared =
        request.header("Content-Length");
    if (declared.has_value()) {
      contentLength = std::strtoull(declared->c_str(), nullptr, 10);
    }
    contentLength = std::min(contentLength, MAX_BODY);

    const size_t buffered = connection->buffer.size();
    if (buffered >= contentLength) {
      bodyRead(connection, std::move(request), contentLength);
      return;
    }

    auto shared = std::make_shared<Request>(std::move(request));
    boost::asio::async_read(
        connection->socket,
        connection->buffer,
        boost::asio::transfer_exactly(contentLength - buffered),
        [this, connection, shared, contentLength](
            const boost::system::error_code& error, size_t) {
          if (error) {
            clientClosed(connection);
            return;
          }
          bodyRead(connection, std::move(*shared), contentLength);
        });
  }

  static void parseHead(Request* request)
  {
    size_t end = request->head.find("\r\n");
    const std::string line = request->head.substr(0, end);
    const size_t first = line.find(' ');
    const size_t last = line.rfind(' ');
    if (first != std::string::npos && last != first) {
      request->method = line.substr(0, first);
      request->target = line.substr(first + 1, last - first - 1);
      request->version = line.substr(last + 1);
    } else {
      request->method = line;
    }

    size_t start = end + 2;
    while (start < request->head.size()) {
      end = request->head.find("\r\n", start);
      if (end == std::string::npos || end == start) {
        break;
      }
      const std::string header = request->head.substr(start, end - start);
      const size_t colon = header.find(':');
      if (colon != std::string::npos) {
        size_t value = colon + 1;
        while (value < header.size() && header[value] == ' ') {
          ++value;
        }
        request->headers.emplace_back(
            header.substr(0, colon), header.substr(value));
      }
      start = end + 2;
    }
  }

  void bodyRead(const Shared& connection, Request request, size_t length)
  {
    auto begin = boost::asio::buffers_begin(connection->buffer.data());
    request.body = std::string(begin, begin + length);
    connection->buffer.consume(length);

    Behaviour behaviour;
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!queued_.empty()) {
        behaviour = queued_.front();
        queued_.pop_front();
      } else {
        behaviour = default_;
      }
      handler = handler_;
      requests_.push_back(request);
    }
    changed_.notify_all();

    Answer answer;
    if (behaviour.answer.has_value()) {
      answer = behaviour.answer.value();
    } else if (handler) {
      answer = handler(request);
    } else {
      answer = Answer::notFound();
    }

    switch (behaviour.fault) {
      case Fault::NONE: {
        const std::string wire = answer.wire();
        std::unique_lock<std::mutex> lock(mutex_);
        if (holding_) {
          held_.push_back([this, connection, wire]() {
            send(
                connection, wire, [this, connection]() { finish(connection); });
          });
          return;
        }
        lock.unlock();
        send(connection, wire, [this, connection]() { finish(connection); });
        return;
      }
      case Fault::REFUSE: reset(connection); return;
      case Fault::SILENT: watch(connection); return;
      case Fault::DELAY: {
        const std::string wire = answer.wire();
        watch(connection);
        connection->timer.expires_after(behaviour.pause);
        connection->timer.async_wait(
            [this, connection, wire](const boost::system::error_code& error) {
              if (!error && !connection->clientGone) {
                send(connection, wire, [this, connection]() {
                  finish(connection);
                });
              }
            });
        return;
      }
      case Fault::DRIP:
        connection->out = answer.wire();
        connection->offset = 0;
        watch(connection);
        drip(connection, behaviour.pause);
        return;
      case Fault::RESET_MID_BODY: {
        const std::string half = answer.body.substr(0, answer.body.size() / 2);
        send(
            connection,
            answer.head(answer.body.size() + 1024) + half,
            [this, connection]() { reset(connection); });
        return;
      }
      case Fault::RAW:
        send(connection, behaviour.bytes, [this, connection]() {
          boost::system::error_code ignored;
          connection->socket.shutdown(tcp::socket::shutdown_send, ignored);
          close(connection);
        });
        return;
      case Fault::HUGE_BODY:
        connection->remaining = behaviour.declared;
        watch(connection);
        send(
            connection,
            "HTTP/1.1 200 OK\r\nContent-Length: " +
                std::to_string(behaviour.declared) +
                "\r\nConnection: close\r\n\r\n",
            [this, connection]() { stream(connection, false); });
        return;
      case Fault::ENDLESS:
        watch(connection);
        send(
            connection,
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
            [this, connection]() { stream(connection, true); });
        return;
    }
  }

  // Writes `data`, then `next` unless the write failed.
  void send(
      const Shared& connection,
      const std::string& data,
      std::function<void()> next)
  {
    auto shared = std::make_shared<std::string>(data);
    boost::asio::async_write(
        connection->socket,
        boost::asio::buffer(*shared),
        [this, connection, shared, next](
            const boost::system::error_code& error, size_t n) {
          sent(n);
          if (error) {
            clientClosed(connection);
            return;
          }
          next();
        });
  }

  void drip(const Shared& connection, std::chrono::milliseconds pause)
  {
    if (connection->offset >= connection->out.size()) {
      finish(connection);
      return;
    }
    const std::string byte(1, connection->out[connection->offset++]);
    send(connection, byte, [this, connection, pause]() {
      connection->timer.expires_after(pause);
      connection->timer.async_wait(
          [this, connection, pause](const boost::system::error_code& error) {
            if (!error && !connection->clientGone) {
              drip(connection, pause);
            }
          });
    });
  }

  void stream(const Shared& connection, bool chunked)
  {
    if (connection->clientGone) {
      return;
    }
    if (chunked) {
      static const std::string chunk =
          "400\r\n" + std::string(1024, 'x') + "\r\n";
      send(connection, chunk, [this, connection]() {
        stream(connection, true);
      });
      return;
    }
    if (connection->remaining == 0) {
      finish(connection);
      return;
    }
    const uint64_t size =
        std::min<uint64_t>(connection->remaining, STREAM_CHUNK);
    connection->remaining -= size;
    send(connection, std::string(size, 'x'), [this, connection]() {
      stream(connection, false);
    });
  }

  // Reads until the client goes: how a silent or slow peer notices that
  // the client gave up.
  void watch(const Shared& connection)
  {
    if (connection->watching) {
      return;
    }
    connection->watching = true;
    rearm(connection);
  }

  void rearm(const Shared& connection)
  {
    auto byte = std::make_shared<char>();
    connection->socket.async_read_some(
        boost::asio::buffer(byte.get(), 1),
        [this, connection, byte](
            const boost::system::error_code& error, size_t) {
          if (error) {
            clientClosed(connection);
            return;
          }
          rearm(connection);
        });
  }

  // After a whole answer: no more to send, and the connection closes once
  // the client has read it and gone.
  void finish(const Shared& connection)
  {
    boost::system::error_code ignored;
    connection->socket.shutdown(tcp::socket::shutdown_send, ignored);
    watch(connection);
  }

  void reset(const Shared& connection)
  {
    boost::system::error_code ignored;
    connection->socket.set_option(
        boost::asio::socket_base::linger(true, 0), ignored);
    close(connection);
  }

  void clientClosed(const Shared& connection)
  {
    if (stopping_ || connection->clientGone) {
      return;
    }
    connection->clientGone = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closedByClient_.insert(connection->number);
    }
    changed_.notify_all();
    close(connection);
  }

  void close(const Shared& connection)
  {
    boost::system::error_code ignored;
    connection->timer.cancel();
    connection->socket.close(ignored);
    live_.erase(connection);
  }

  void sent(size_t n)
  {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      bytesSent_ += n;
    }
    changed_.notify_all();
  }

  void closeAll()
  {
    stopping_ = true;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    for (const Shared& connection : live_) {
      connection->timer.cancel();
      connection->socket.close(ignored);
    }
    live_.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    held_.clear();
  }

  // Under mutex_: what the test thread sets and reads.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Handler handler_;
  Behaviour default_;
  std::deque<Behaviour> queued_;
  bool holding_ = false;
  std::vector<std::function<void()>> held_;
  std::vector<Request> requests_;
  std::set<size_t> closedByClient_;
  uint64_t bytesSent_ = 0;

  // The io thread's alone.
  boost::asio::io_context io_;
  tcp::acceptor acceptor_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type>
      guard_;
  std::set<Shared> live_;
  size_t accepted_ = 0;
  bool stopping_ = false;

  uint16_t port_ = 0;
  std::thread thread_;
};


FaultPeer::FaultPeer(Handler handler, uint16_t port)
  : impl_(new Impl(std::move(handler), port))
{}

FaultPeer::~FaultPeer() = default;

uint16_t FaultPeer::port() const
{
  return impl_->port();
}

std::string FaultPeer::url(const std::string& path) const
{
  return impl_->url(path);
}

void FaultPeer::setHandler(Handler handler)
{
  impl_->setHandler(std::move(handler));
}

void FaultPeer::setDefault(const Behaviour& behaviour)
{
  impl_->setDefault(behaviour);
}

void FaultPeer::enqueue(const Behaviour& behaviour)
{
  impl_->enqueue(behaviour);
}

void FaultPeer::hold()
{
  impl_->hold();
}

void FaultPeer::release()
{
  impl_->release();
}

std::vector<Request> FaultPeer::requests() const
{
  return impl_->requests();
}

size_t FaultPeer::requestCount() const
{
  return impl_->requestCount();
}

std::optional<Request> FaultPeer::waitForRequest(size_t n, Wait limit)
{
  return impl_->waitForRequest(n, limit);
}

bool FaultPeer::waitForClientClose(size_t n, Wait limit)
{
  return impl_->waitForClientClose(n, limit);
}

bool FaultPeer::waitForBytesSent(uint64_t bytes, Wait limit)
{
  return impl_->waitForBytesSent(bytes, limit);
}

uint64_t FaultPeer::bytesSent() const
{
  return impl_->bytesSent();
}

} // namespace fault_peer {
} // namespace ovra_test {
