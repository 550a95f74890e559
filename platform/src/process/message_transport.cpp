// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <chrono>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <glog/logging.h>

#include <process/event.hpp>

#include <stout/stringify.hpp>

#include "beast_support.hpp"
#include "runtime.hpp"

// Messages to actors of other OS processes, sent as libprocess 1.2.0 sends
// them: one HTTP/1.1 POST per message, on one connection per remote address
// that all actors share, so the messages to one address arrive in the order
// sent. The receiver answers nothing; what comes back is read and dropped.
// The loss of a connection is reported to every actor linked through it. A
// connection nobody is linked through closes once it has been idle for a
// while (not at once: a new connection could overtake what the old one
// still carries). Everything here runs on the io thread.

namespace process {
namespace internal {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;


std::string encode(const Message& message)
{
  const std::string from = stringify(message.from);

  std::ostringstream out;
  out << "POST /" << message.to.id << "/" << message.name << " HTTP/1.1\r\n"
      << "User-Agent: libprocess/" << from << "\r\n"
      << "Libprocess-From: " << from << "\r\n"
      << "Connection: Keep-Alive\r\n"
      << "Host: \r\n";

  if (message.body.empty()) {
    out << "\r\n";
  } else {
    out << "Transfer-Encoding: chunked\r\n\r\n"
        << std::hex << message.body.size() << "\r\n"
        << message.body << "\r\n0\r\n\r\n";
  }

  return out.str();
}


// How long a connection that nobody is linked through stays open idle.
constexpr std::chrono::seconds IDLE_LIMIT(5);

// Most bytes of messages queued on one connection: two of the largest
// that a server takes. A peer that stops reading would otherwise make this
// process hold every message sent to it; past the bound the connection is
// closed, as if lost. libprocess 1.2.0 queues without a bound.
constexpr uint64_t MAX_QUEUED_BYTES = 128 * 1024 * 1024;

// What a queued message costs: its body and names, and room for its head.
uint64_t size(const Message& message)
{
  return message.body.size() + message.name.size() + message.to.id.size() +
    message.from.id.size() + 256;
}

class Connection;

// The connections by remote address.
std::map<network::inet::Address, std::shared_ptr<Connection>> connections;


class Connection : public std::enable_shared_from_this<Connection>
{
public:
  explicit Connection(const network::inet::Address& address)
    : address_(address), socket_(io()), idle_(io()) {}

  void connect()
  {
    const tcp::endpoint endpoint(
        asio::ip::address_v4(ntohl(address_.ip.in().get().s_addr)),
        address_.port);

    std::shared_ptr<Connection> self = shared_from_this();
    socket_.async_connect(endpoint, [self](const boost::system::error_code& error) {
      if (error) {
        VLOG(1) << "Failed to connect to " << self->address_ << ": "
                << error.message();
        for (const Message& message : self->queue_) {
          VLOG(1) << "Failed to send '" << message.name << "' to '"
                  << self->address_ << "', connect: " << error.message();
        }
        self->close();
        return;
      }
      self->connected_ = true;
      self->drain();
      self->write();
    });
  }

  void send(Message&& message)
  {
    if (closed_) {
      return;
    }

    const uint64_t bytes = size(message);
    if (queued_ + bytes > MAX_QUEUED_BYTES) {
      LOG(WARNING) << "Closing the connection to " << address_ << ": "
                   << queued_ << " bytes of messages are queued for a "
                   << "peer that does not read them";
      close();
      return;
    }
    queued_ += bytes;
    queue_.push_back(std::move(message));
    write();
  }

  void link(const UPID& from, const UPID& to)
  {
    linkees_.insert(std::make_pair(from, to));
    idle_.cancel();
  }

  void unlink(const UPID& from)
  {
    for (auto it = linkees_.begin(); it != linkees_.end();) {
      it = it->first == from ? linkees_.erase(it) : std::next(it);
    }
    if (linkees_.empty() && !writing_ && !closed_) {
      awaitIdle();
    }
  }

private:
  void write()
  {
    if (!connected_ || writing_ || closed_) {
      return;
    }

    if (queue_.empty()) {
      awaitIdle();
      return;
    }

    writing_ = true;
    ++sent_;
    wire_ = encode(queue_.front());
    writtenSize_ = size(queue_.front());
    queue_.pop_front();

    std::shared_ptr<Connection> self = shared_from_this();
    asio::async_write(
        socket_,
        asio::buffer(wire_),
        [self](const boost::system::error_code& error, size_t) {
          self->writing_ = false;
          self->queued_ -= self->writtenSize_;
          if (error) {
            VLOG(1) << "Failed to send a message to " << self->address_
                    << ": " << error.message();
            self->close();
            return;
          }
          self->write();
        });
  }

  // Closes the connection if it is still unused after IDLE_LIMIT.
  void awaitIdle()
  {
    if (!linkees_.empty()) {
      return;
    }
    const uint64_t sent = sent_;
    std::shared_ptr<Connection> self = shared_from_this();
    idle_.expires_after(IDLE_LIMIT);
    idle_.async_wait([self, sent](const boost::system::error_code& error) {
      if (!error && self->sent_ == sent && self->queue_.empty() &&
          !self->writing_ && self->linkees_.empty()) {
        self->close();
      }
    });
  }

  // Whatever the peer sends back is read and dropped; the end of it is
  // the end of the connection.
  void drain()
  {
    std::shared_ptr<Connection> self = shared_from_this();
    socket_.async_read_some(
        asio::buffer(discard_),
        [self](const boost::system::error_code& error, size_t) {
          if (error) {
            if (!self->closed_) {
              VLOG(1) << "Connection to " << self->address_
                      << " ended: " << error.message();
            }
            self->close();
            return;
          }
          self->drain();
        });
  }

  void close()
  {
    if (closed_) {
      return;
    }
    closed_ = true;
    queue_.clear();
    // A write under way still ends, and takes its share off then.
    queued_ = writing_ ? writtenSize_ : 0;
    idle_.cancel();

    boost::system::error_code ignored;
    socket_.shutdown(tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);

    auto it = connections.find(address_);
    if (it != connections.end() && it->second.get() == this) {
      connections.erase(it);
    }

    // The connection is lost for every actor linked through it: each is
    // told once, and must link again to hear of a later loss.
    for (const auto& [from, to] : linkees_) {
      deliverExited(from, to);
    }
    linkees_.clear();
  }

  const network::inet::Address address_;
  tcp::socket socket_;
  asio::steady_timer idle_;
  uint64_t sent_ = 0;

  std::deque<Message> queue_;
  // What queue_ and the message being written hold, as size() counts it.
  uint64_t queued_ = 0;
  uint64_t writtenSize_ = 0;
  std::string wire_;
  char discard_[4096];
  bool connected_ = false;
  bool writing_ = false;
  bool closed_ = false;

  // Who linked to whom through this connection.
  std::set<std::pair<UPID, UPID>> linkees_;
};


// The connection to `address`, opened if there is none.
std::shared_ptr<Connection> connection(const network::inet::Address& address)
{
  auto it = connections.find(address);
  if (it != connections.end()) {
    return it->second;
  }

  std::shared_ptr<Connection> opened = std::make_shared<Connection>(address);
  connections[address] = opened;
  opened->connect();
  return opened;
}

} // namespace {


void sendRemote(Message&& message)
{
  asio::post(io(), [message = std::move(message)]() mutable {
    connection(message.to.address)->send(std::move(message));
  });
}


void linkRemote(const UPID& from, const UPID& to)
{
  asio::post(io(), [from, to]() { connection(to.address)->link(from, to); });
}


void unlinkRemote(
    const UPID& from,
    const std::set<network::inet::Address>& addresses)
{
  asio::post(io(), [from, addresses]() {
    for (const network::inet::Address& address : addresses) {
      auto it = connections.find(address);
      if (it != connections.end()) {
        it->second->unlink(from);
      }
    }
  });
}

} // namespace internal {
} // namespace process {
