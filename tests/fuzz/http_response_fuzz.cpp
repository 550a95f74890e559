// Whatever a server answers to the HTTP client (the IAM service, the
// secret store, or anything listening at their address): the client's GET
// is accepted on a loopback listener and answered with the input, then the
// connection is half-closed. The client's future must end, as a response or a
// failure, within a bounded time; a response must carry a status the
// client understood and a body no larger than its cap.

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/ip.hpp>

#include "fuzz/fuzz_support.hpp"
#include "fuzz/loopback.hpp"

using namespace ovra_test;

namespace http = process::http;

namespace {

fuzz::Listener* listener = nullptr;

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  process::initialize();
  listener = new fuzz::Listener();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const http::URL url(
      "http",
      net::IP(INADDR_LOOPBACK),
      listener->port(),
      "/acs/api/v1/auth/jwks");
  const process::Future<http::Response> response = http::get(url);

  // The connection stays open until the client has made of the answer
  // what it will: closing it at once would reset what it has not read.
  fuzz::Socket socket = listener->accept();
  socket.readUntil("\r\n\r\n");
  socket.writeAll(fuzz::text(data, size));
  socket.shutdownWrite();

  fuzz::settle(response);
  if (response.isReady()) {
    if (response->code > 999) {
      fuzz::fail(
          "a response with status code " + std::to_string(response->code));
    }
    if (response->body.size() > http::maxResponseBodySize()) {
      fuzz::fail("a response body beyond the client's cap");
    }
  }
  return 0;
}
