// Whatever a client sends to the HTTP server: the input is written on a
// fresh loopback connection, which is then half-closed. The server must
// answer or close, within a bounded time, and go on serving: every run
// ends with a well-formed request on a new connection that must succeed.
// Routes cover a plain handler, one behind an authenticator (its body is
// read only once the request is authenticated) and the libprocess message
// path ("POST /<actor>/<name>" with a libprocess User-Agent or
// Libprocess-From).

#include <string>

#include <process/authenticator.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/strings.hpp>

#include "fuzz/fuzz_support.hpp"
#include "fuzz/loopback.hpp"

using namespace ovra_test;

namespace http = process::http;

using http::authentication::AuthenticationResult;

namespace {

// Lets through requests carrying "Authorization: Bearer ok".
class BearerAuthenticator : public http::authentication::Authenticator
{
public:
  process::Future<AuthenticationResult> authenticate(
      const http::Request& request) override
  {
    AuthenticationResult result;
    if (request.headers.get("Authorization") == std::string("Bearer ok")) {
      result.principal = "fuzzer";
    } else {
      result.unauthorized = http::Unauthorized({"Bearer"});
    }
    return result;
  }

  std::string scheme() const override { return "Bearer"; }
};


// "/fuzz/echo" answers with the body and the query; "/fuzz/secure" does
// the same behind the "fuzz" realm; the message "fuzz/note" is counted.
class FuzzProcess : public process::Process<FuzzProcess>
{
public:
  FuzzProcess() : process::ProcessBase("fuzz") {}

protected:
  void initialize() override
  {
    route("/echo", None(), [](const http::Request& request) {
      std::string answer = request.body;
      for (const auto& entry : request.url.query) {
        answer += entry.first + "=" + entry.second + ";";
      }
      return http::OK(answer);
    });
    route(
        "/secure",
        "fuzz",
        None(),
        [](const http::Request& request, const Option<std::string>&) {
          return http::OK(request.body);
        });
    install("note", [this](const process::UPID&, const std::string& body) {
      noted_ += body.size();
    });
  }

private:
  size_t noted_ = 0;
};

uint16_t port = 0;

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  process::initialize();
  fuzz::settle(http::authentication::setAuthenticator(
      "fuzz",
      process::Owned<http::authentication::Authenticator>(
          new BearerAuthenticator())));
  process::spawn(new FuzzProcess(), true);
  port = process::address().port;
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  {
    fuzz::Socket socket = fuzz::connectTo(port);
    socket.writeAll(fuzz::text(data, size));
    socket.shutdownWrite();
    socket.readUntil();
  }

  // The server still serves.
  fuzz::Socket socket = fuzz::connectTo(port);
  socket.writeAll(
      "GET /fuzz/echo?still=here HTTP/1.1\r\nHost: fuzz\r\n"
      "Connection: close\r\n\r\n");
  const std::string answer = socket.readUntil();
  if (!strings::startsWith(answer, "HTTP/1.1 200 OK") ||
      answer.find("still=here;") == std::string::npos) {
    fuzz::fail("the server stopped serving: " + answer.substr(0, 200));
  }
  return 0;
}
