// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <process/authenticator.hpp>
#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "support/fault_peer.hpp"
#include "support/raw_client.hpp"

using namespace ovra_test;

namespace http = process::http;

using process::Clock;
using process::Failure;
using process::Future;
using process::Owned;
using process::Process;
using process::ProcessBase;
using process::UPID;

using http::authentication::AuthenticationResult;
using http::authentication::Authenticator;

using std::string;

namespace {

// Serves a few routes that report what they were asked.
class EchoProcess : public Process<EchoProcess>
{
public:
  explicit EchoProcess(const string& realm)
    : ProcessBase(process::ID::generate("echo")),
      realm_(realm)
  {}

protected:
  void initialize() override
  {
    route("/echo", None(), [](const http::Request& request) {
      string query;
      for (const auto& entry : request.url.query) {
        query += "[" + entry.first + "=" + entry.second + "]";
      }
      http::OK response(
          request.method + " " + request.url.path + " " + query + " " +
          request.headers.get("X-Test").getOrElse("-") + " " + request.body);
      response.headers["X-Client"] = stringify(request.client.get());
      return response;
    });

    route("/fail", None(), [](const http::Request&) -> Future<http::Response> {
      return Failure("handler broke");
    });

    route(
        "/whoami",
        realm_,
        None(),
        [](const http::Request&, const Option<string>& principal) {
          return http::OK(principal.getOrElse("nobody"));
        });
  }

private:
  const string realm_;
};


class ScriptedAuthenticator : public Authenticator
{
public:
  explicit ScriptedAuthenticator(const Future<AuthenticationResult>& result)
    : result_(result)
  {}

  Future<AuthenticationResult> authenticate(const http::Request&) override
  {
    return result_;
  }

  string scheme() const override { return "Test"; }

private:
  Future<AuthenticationResult> result_;
};


class HttpRoundTripTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    realm_ = process::ID::generate("realm");
    echo_.reset(new EchoProcess(realm_));
    process::spawn(echo_.get());
  }

  void TearDown() override
  {
    process::terminate(echo_.get());
    process::wait(echo_.get());
    AWAIT_READY(http::authentication::unsetAuthenticator(realm_));
  }

  http::URL url(const string& path) const
  {
    const UPID pid = echo_->self();
    return http::URL(
        "http", pid.address.ip, pid.address.port, "/" + pid.id + path);
  }

  void authenticateWith(const Future<AuthenticationResult>& result)
  {
    AWAIT_READY(http::authentication::setAuthenticator(
        realm_, Owned<Authenticator>(new ScriptedAuthenticator(result))));
  }

  static http::URL loopback(uint16_t port, const string& path = "/")
  {
    return http::URL("http", net::IP(INADDR_LOOPBACK), port, path);
  }

  string realm_;
  Owned<EchoProcess> echo_;
};

} // namespace {


TEST_F(HttpRoundTripTest, GetReachesTheRouteWithQueryHeadersAndClient)
{
  // As in libprocess the client writes the query as it is: values must be
  // encoded by the caller. The server decodes them.
  http::URL target = url("/echo");
  target.query["q"] = "a%20b";

  Future<http::Response> response =
      http::get(target, http::Headers({{"x-test", "value"}}));

  AWAIT_ASSERT_READY(response);
  EXPECT_EQ(200, response->code);
  EXPECT_EQ("200 OK", response->status);
  EXPECT_EQ(
      "GET /" + echo_->self().id + "/echo [q=a b] value ", response->body);
  EXPECT_EQ(
      "text/plain; charset=utf-8", response->headers.get("content-type").get());
  EXPECT_TRUE(strings::startsWith(
      response->headers.get("X-Client").get(), "127.0.0.1:"));
}


TEST_F(HttpRoundTripTest, PostCarriesBodyAndContentType)
{
  Future<http::Response> response = http::post(
      url("/echo"), None(), string("payload"), string("text/x-test"));
  AWAIT_EXPECT_RESPONSE_BODY_EQ(
      "POST /" + echo_->self().id + "/echo  - payload", response);

  AWAIT_EXPECT_FAILURE_EQ(
      "Attempted to do a POST with a Content-Type but no body",
      http::post(url("/echo"), None(), None(), string("text/plain")));
}


TEST_F(HttpRoundTripTest, UnknownPathsAnswerNotFoundAndNestedPathsFallBack)
{
  AWAIT_EXPECT_RESPONSE_STATUS_EQ(
      "404 Not Found", http::get(url("/no-such-route")));
  AWAIT_EXPECT_RESPONSE_STATUS_EQ(
      "404 Not Found",
      http::get(loopback(process::address().port, "/no-such-actor/echo")));
  AWAIT_EXPECT_RESPONSE_STATUS_EQ("200 OK", http::get(url("/echo/deeper")));
}


TEST_F(HttpRoundTripTest, FailedHandlerAnswersInternalServerError)
{
  Future<http::Response> response = http::get(url("/fail"));
  AWAIT_EXPECT_RESPONSE_STATUS_EQ("500 Internal Server Error", response);
  AWAIT_EXPECT_RESPONSE_BODY_EQ("handler broke", response);
}


TEST_F(HttpRoundTripTest, AuthenticatedRouteWithoutAuthenticatorHasNoPrincipal)
{
  AWAIT_EXPECT_RESPONSE_BODY_EQ("nobody", http::get(url("/whoami")));
}


TEST_F(HttpRoundTripTest, AuthenticatorPrincipalReachesTheHandler)
{
  AuthenticationResult result;
  result.principal = "alice";
  authenticateWith(result);

  AWAIT_EXPECT_RESPONSE_BODY_EQ("alice", http::get(url("/whoami")));
}


TEST_F(HttpRoundTripTest, UnauthorizedAndForbiddenAreSentBackAsTheyAre)
{
  AuthenticationResult unauthorized;
  unauthorized.unauthorized = http::Unauthorized({"Test realm=\"r\""}, "who?");
  authenticateWith(unauthorized);

  Future<http::Response> response = http::get(url("/whoami"));
  AWAIT_EXPECT_RESPONSE_STATUS_EQ("401 Unauthorized", response);
  AWAIT_EXPECT_RESPONSE_HEADER_EQ(
      "Test realm=\"r\"", "WWW-Authenticate", response);
  AWAIT_EXPECT_RESPONSE_BODY_EQ("who?", response);

  AuthenticationResult forbidden;
  forbidden.forbidden = http::Forbidden();
  authenticateWith(forbidden);

  AWAIT_EXPECT_RESPONSE_STATUS_EQ("403 Forbidden", http::get(url("/whoami")));
}


TEST_F(HttpRoundTripTest, UndecidedAuthenticationIsNeverASuccess)
{
  authenticateWith(Failure("directory unavailable"));

  Future<http::Response> failed = http::get(url("/whoami"));
  AWAIT_EXPECT_RESPONSE_STATUS_EQ("500 Internal Server Error", failed);
  AWAIT_EXPECT_RESPONSE_BODY_EQ("directory unavailable", failed);

  AuthenticationResult both;
  both.principal = "alice";
  both.forbidden = http::Forbidden();
  authenticateWith(both);

  AWAIT_EXPECT_RESPONSE_STATUS_EQ(
      "500 Internal Server Error", http::get(url("/whoami")));
}


TEST_F(HttpRoundTripTest, MalformedRequestIsRejectedAndTheServerGoesOn)
{
  RawClient client(process::address().port);
  ASSERT_TRUE(client.connected());

  // Closed without an answer, as libprocess closes it.
  ASSERT_TRUE(client.send("NONSENSE\r\n\r\n"));
  EXPECT_EQ("", client.readHead());

  AWAIT_EXPECT_RESPONSE_STATUS_EQ("200 OK", http::get(url("/echo")));
}


TEST_F(HttpRoundTripTest, PeerVanishingMidRequestDoesNotDisturbOthers)
{
  {
    RawClient client(process::address().port);
    ASSERT_TRUE(client.connected());
    client.send(
        "POST /" + echo_->self().id +
        "/echo HTTP/1.1\r\n"
        "Content-Length: 100\r\n\r\npartial");
  }

  AWAIT_EXPECT_RESPONSE_STATUS_EQ("200 OK", http::get(url("/echo")));
}


TEST(HttpClientTest, RequestLineAndHeadersAreWrittenAsLibprocessDoes)
{
  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::raw(
      "HTTP/1.1 200 Fine\r\nX-Answer: 42\r\nContent-Length: 2\r\n\r\nok"));

  http::URL url("http", net::IP(INADDR_LOOPBACK), server.port(), "/a/b");
  url.query["k"] = "v w";

  Future<http::Response> response = http::get(url);
  AWAIT_ASSERT_READY(response);

  // The status text is the table's, not the server's phrase.
  EXPECT_EQ("200 OK", response->status);
  EXPECT_EQ("42", response->headers.get("x-answer").get());
  EXPECT_EQ("ok", response->body);

  const std::optional<fault_peer::Request> request = server.waitForRequest(1);
  ASSERT_TRUE(request.has_value());
  const string& head = request->head;
  EXPECT_TRUE(strings::startsWith(head, "GET /a/b?k=v w HTTP/1.1\r\n")) << head;
  EXPECT_NE(
      string::npos,
      head.find("Host: 127.0.0.1:" + stringify(server.port()) + "\r\n"));
  EXPECT_NE(string::npos, head.find("Connection: close\r\n"));
  EXPECT_NE(string::npos, head.find("Content-Length: 0\r\n"));
}


TEST(HttpClientTest, RefusedConnectionFails)
{
  // A port that was listened on a moment ago and has no listener now.
  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::refuse());
  const uint16_t port = server.port();

  AWAIT_EXPECT_FAILURE_EQ(
      "Failed to connect to 127.0.0.1:" + stringify(port) +
          ": Connection refused",
      http::get(http::URL("http", net::IP(INADDR_LOOPBACK), port, "/")));
}


TEST(HttpClientTest, SilentServerIsCutOffByAfterOnAPausedClock)
{
  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::silent());

  Clock::pause();

  Future<http::Response> response = http::get(
      http::URL("http", net::IP(INADDR_LOOPBACK), server.port(), "/"));

  Future<http::Response> limited = response.after(
      Seconds(5),
      [](Future<http::Response> response) -> Future<http::Response> {
        response.discard();
        return Failure("Timed out after 5secs");
      });

  Clock::advance(Seconds(5));
  AWAIT_EXPECT_FAILURE_EQ("Timed out after 5secs", limited);

  // The discard closed the connection.
  AWAIT_EXPECT_DISCARDED(response);
  EXPECT_TRUE(server.waitForClientClose(1));
  Clock::resume();
}


TEST(HttpClientTest, BrokenResponsesFailWithClearMessages)
{
  struct Case
  {
    string answer;
    string failure;
  };

  const std::vector<Case> cases = {
      {"", "Disconnected"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", "Disconnected"},
      {"NOT HTTP AT ALL\r\n\r\n", "Failed to decode response"},
      {"HTTP/1.1 299 Odd\r\nContent-Length: 0\r\n\r\n",
       "Failed to decode response"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE("answer: " + c.answer);
    fault_peer::FaultPeer server;
    server.setDefault(fault_peer::Behaviour::raw(c.answer));

    AWAIT_EXPECT_FAILURE_EQ(
        c.failure,
        http::get(
            http::URL("http", net::IP(INADDR_LOOPBACK), server.port(), "/")));
  }
}


TEST(HttpClientTest, UnusableUrlsFail)
{
  AWAIT_EXPECT_FAILURE_EQ(
      "Unsupported URL scheme",
      http::get(http::URL("ftp", net::IP(INADDR_LOOPBACK), 21, "/")));

  AWAIT_EXPECT_FAILURE_EQ(
      "Failed to create socket: SSL is disabled",
      http::get(http::URL("https", net::IP(INADDR_LOOPBACK), 443, "/")));

  Future<http::Response> unresolved =
      http::get(http::URL("http", "no-such-host.invalid", 80, "/"));
  AWAIT_ASSERT_FAILED(unresolved);
  EXPECT_TRUE(strings::startsWith(
      unresolved.failure(),
      "Failed to determine IP of domain 'no-such-host.invalid': "))
      << unresolved.failure();
}
