#ifndef __PROCESS_RUNTIME_HPP__
#define __PROCESS_RUNTIME_HPP__

#include <stdint.h>

#include <set>
#include <string>

#include <boost/asio/io_context.hpp>

#include <process/address.hpp>
#include <process/event.hpp>
#include <process/http.hpp>
#include <process/message.hpp>
#include <process/pid.hpp>

// Internal glue between the parts of the runtime: the actors (process.cpp),
// the clock (clock.cpp) and the network (http_server.cpp, http_client.cpp).

namespace process {
namespace internal {

// Counts changes that matter to Clock::settle(): an actor queued or done
// running, a timer added, firing or fired. Each change is counted inside
// the critical section that makes it, so that a settle check that sees the
// same count before and after looking at the actors and the timers saw one
// consistent idle state.
class Activity
{
public:
  static uint64_t generation();
  static void changed();

  // Blocks until the count differs from `seen`.
  static void waitForChange(uint64_t seen);
};

// Whether no actor is queued or running.
bool actorsIdle();

// Whether no timer is due or firing.
bool timersIdle();

// The io_context that runs every socket of the HTTP server and client, on
// its own thread. Started by process::initialize().
boost::asio::io_context& io();

// Hands an HTTP request to the actor named by the first path segment;
// answers 404 if there is none. `respond` receives the response (always
// exactly once, from any thread). When `body` is given, the request came
// with its head only, and `body` reads the rest once the request has been
// authenticated (if its endpoint needs that).
void routeHttp(
    http::Request&& request,
    const std::function<void(const Future<http::Response>&)>& respond,
    const HttpEvent::BodyReader& body = HttpEvent::BodyReader());

// Messages between OS processes (message_transport.cpp): sends `message`
// over TCP to the process at message.to.address.
void sendRemote(Message&& message);

// Links `from` to the remote actor `to`: `from` gets exited(to) once the
// connection to to's address is lost.
void linkRemote(const UPID& from, const UPID& to);

// Forgets the links that the ended actor `from` made to actors at
// `addresses`, as libprocess does when an actor exits: a connection then
// keeps nothing of short-lived actors that linked through it.
void unlinkRemote(
    const UPID& from,
    const std::set<network::inet::Address>& addresses);

// Queues a message that came from another OS process for its local actor
// (process.cpp). False, dropping it, when no such actor runs.
bool deliverMessage(Message&& message);

// Tells the local actor `to` that `pid` has exited (its connection is lost).
void deliverExited(const UPID& to, const UPID& pid);

// Starts the server: binds and listens on LIBPROCESS_IP/LIBPROCESS_PORT
// (127.0.0.1 and an ephemeral port when unset). Returns the bound address.
Try<network::inet::Address> startServer();

// Resolves a host name or dotted IPv4 address.
Try<net::IP> resolve(const std::string& host);

} // namespace internal {
} // namespace process {

#endif // __PROCESS_RUNTIME_HPP__
