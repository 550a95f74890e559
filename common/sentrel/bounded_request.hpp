#ifndef __COMMON_SENTREL_BOUNDED_REQUEST_HPP__
#define __COMMON_SENTREL_BOUNDED_REQUEST_HPP__

// Every request of the modules to the IAM service and the secret store:
// one connection per request, the answer's body read as a stream up to a
// bound, the whole exchange within a time limit, and the connection closed
// when the request ends, whichever way it ends. libprocess's http::get and
// http::post would buffer a body of any size and keep a connection open
// after their future is discarded; this uses only http::connect and the
// Connection of Mesos 1.2.0's public API. No state: each call is one
// exchange, and its pieces pass from one continuation to the next.

#include <stddef.h>

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

namespace mesos {
namespace sentrel {

// The largest answer body a module reads: room for a permissions document
// of 100,000 permissions (about 15 MB) and for the largest secret value.
constexpr size_t MAX_ANSWER_BODY = 32 * 1024 * 1024;

// Why a body that breaks off was not read whole.
constexpr char ANSWER_CUT_SHORT[] = "Disconnected before the end of the answer";

struct RequestLimits
{
  // The time limit of the whole exchange, from the call. Without one the
  // caller bounds the exchange: discarding its future ends it and closes
  // the connection.
  Option<Duration> timeout;

  // The failure past `timeout`: this text followed by the limit in stout's
  // form ("Failed to contact Sentrel: Timed out after " + "5secs").
  std::string timeoutMessage;

  size_t bodyLimit = MAX_ANSWER_BODY;
};


// The answer to `request`, its body read whole (type BODY). The request
// asks the server to close the connection after it. Fails with the
// connection's failure as libprocess words it (for example "Failed to
// connect to <ip>:<port>: Connection refused", "Disconnected" when the
// peer closes before an answer, "Failed to decode response"), with
// ANSWER_CUT_SHORT when the body breaks off, with "The answer's body
// exceeds the limit of <bytes> bytes" past the body bound, and with the
// time-out message past the limit.
process::Future<process::http::Response> boundedRequest(
    const process::http::Request& request,
    const RequestLimits& limits);

// boundedRequest() of a GET of `url` with `headers`.
process::Future<process::http::Response> boundedGet(
    const process::http::URL& url,
    const Option<process::http::Headers>& headers,
    const RequestLimits& limits);

// boundedRequest() of a POST of `body` to `url` with `headers`.
process::Future<process::http::Response> boundedPost(
    const process::http::URL& url,
    const Option<process::http::Headers>& headers,
    const std::string& body,
    const RequestLimits& limits);

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_BOUNDED_REQUEST_HPP__
