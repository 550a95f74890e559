// What the HTTP client and server hold for a hostile or careless peer: how
// much of a body they read, for how long, and for whom.

// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/authenticator.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "support/fault_peer.hpp"
#include "support/raw_client.hpp"

using namespace ovra_test;

namespace http = process::http;

using process::Future;
using process::Owned;
using process::Process;
using process::ProcessBase;

using http::authentication::AuthenticationResult;
using http::authentication::Authenticator;

using std::string;

namespace {

// Lets a request in when its "Authorization" header is "ok".
class HeaderAuthenticator : public Authenticator
{
public:
  Future<AuthenticationResult> authenticate(
      const http::Request& request) override
  {
    AuthenticationResult result;
    if (request.headers.get("Authorization").getOrElse("") == "ok") {
      result.principal = "someone";
    } else {
      result.unauthorized = http::Unauthorized({"Test"});
    }
    return result;
  }

  string scheme() const override { return "Test"; }
};


// Answers with the size of the body it got, behind authentication or not.
class SizeProcess : public Process<SizeProcess>
{
public:
  explicit SizeProcess(const string& realm)
    : ProcessBase(process::ID::generate("size")),
      realm_(realm)
  {}

protected:
  void initialize() override
  {
    route("/open", None(), [](const http::Request& request) {
      return http::OK(stringify(request.body.size()));
    });

    route(
        "/closed",
        realm_,
        None(),
        [](const http::Request& request, const Option<string>&) {
          return http::OK(stringify(request.body.size()));
        });
  }

private:
  const string realm_;
};


class HttpServerBoundsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    realm_ = process::ID::generate("realm");
    AWAIT_READY(http::authentication::setAuthenticator(
        realm_, Owned<Authenticator>(new HeaderAuthenticator())));
    sizes_.reset(new SizeProcess(realm_));
    process::spawn(sizes_.get());
  }

  void TearDown() override
  {
    process::terminate(sizes_.get());
    process::wait(sizes_.get());
    AWAIT_READY(http::authentication::unsetAuthenticator(realm_));
  }

  string head(
      const string& path,
      const string& length,
      const string& extra = "") const
  {
    return "POST /" + sizes_->self().id + path +
        " HTTP/1.1\r\n"
        "Host: test\r\nContent-Length: " +
        length + "\r\n" + extra + "\r\n";
  }

  static uint16_t port() { return process::address().port; }

  string realm_;
  Owned<SizeProcess> sizes_;
};


const string SIXTY_MIB = stringify(60 * 1024 * 1024);


} // namespace {


TEST_F(HttpServerBoundsTest, RefusedRequestIsAnsweredBeforeItsBodyIsRead)
{
  // The head announces 60 MiB that never come: were the server waiting for
  // them, no answer would arrive.
  RawClient client(port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send(head("/closed", SIXTY_MIB)));

  const string answer = client.readHead();
  EXPECT_TRUE(strings::startsWith(answer, "HTTP/1.1 401 Unauthorized\r\n"))
      << answer;
  EXPECT_NE(string::npos, answer.find("Connection: close")) << answer;
  EXPECT_TRUE(client.closedByPeer());
}


TEST_F(HttpServerBoundsTest, AcceptedRequestIsToldToContinueAndGetsItsBody)
{
  RawClient client(port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.send(
      head("/closed", "5", "Authorization: ok\r\nExpect: 100-continue\r\n")));

  EXPECT_EQ("HTTP/1.1 100 Continue\r\n\r\n", client.readHead());

  ASSERT_TRUE(client.send("hello"));
  const string answer = client.readHead();
  EXPECT_TRUE(strings::startsWith(answer, "HTTP/1.1 200 OK\r\n")) << answer;

  // Bodies of every size and kind still arrive whole.
  Future<http::Response> chunked = http::post(
      http::URL(
          "http",
          net::IP(INADDR_LOOPBACK),
          port(),
          "/" + sizes_->self().id + "/open"),
      None(),
      string(100000, 'b'),
      None());
  AWAIT_EXPECT_RESPONSE_BODY_EQ("100000", chunked);
}


TEST_F(HttpServerBoundsTest, BodiesBeyondTheSharedBoundAreAnsweredUnavailable)
{
  // Four bodies of 60 MiB are held at once (each client was told to go
  // on); a fifth would pass the bound.
  std::vector<std::unique_ptr<RawClient>> held;
  for (int i = 0; i < 4; ++i) {
    held.emplace_back(new RawClient(port()));
    ASSERT_TRUE(held.back()->send(
        head("/open", SIXTY_MIB, "Expect: 100-continue\r\n")));
    ASSERT_EQ("HTTP/1.1 100 Continue\r\n\r\n", held.back()->readHead());
  }

  RawClient fifth(port());
  ASSERT_TRUE(fifth.send(head("/open", SIXTY_MIB, "Expect: 100-continue\r\n")));
  const string answer = fifth.readHead();
  EXPECT_TRUE(
      strings::startsWith(answer, "HTTP/1.1 503 Service Unavailable\r\n"))
      << answer;
  EXPECT_TRUE(fifth.closedByPeer());

  // Once those clients are gone, their share is free again.
  held.clear();
  RawClient later(port());
  ASSERT_TRUE(later.send(head("/open", "2") + "ok"));
  EXPECT_TRUE(strings::startsWith(later.readHead(), "HTTP/1.1 200 OK\r\n"));
}


TEST_F(HttpServerBoundsTest, OversizedBodyIsRefusedUnread)
{
  RawClient client(port());
  ASSERT_TRUE(client.send(head("/open", stringify(65 * 1024 * 1024))));
  const string answer = client.readHead();
  EXPECT_TRUE(
      strings::startsWith(answer, "HTTP/1.1 413 Request Entity Too Large\r\n"))
      << answer;
  EXPECT_TRUE(client.closedByPeer());
}


TEST_F(
    HttpServerBoundsTest,
    AHalfSentHeadIsClosedAtItsLimitAnIdleConnectionIsNot)
{
  RawClient idle(port());
  RawClient half(port());
  ASSERT_TRUE(idle.connected());
  ASSERT_TRUE(
      half.send("GET /" + sizes_->self().id + "/open HTTP/1.1\r\nHost: "));

  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(half.closedByPeer());
  const auto held = std::chrono::steady_clock::now() - start;
  EXPECT_GE(held, std::chrono::milliseconds(4500));
  EXPECT_LT(held, std::chrono::seconds(9));

  // A connection that has not begun a request is served whenever it does.
  ASSERT_TRUE(idle.send(head("/open", "2") + "ok"));
  EXPECT_TRUE(strings::startsWith(idle.readHead(), "HTTP/1.1 200 OK\r\n"));
}


TEST(HttpClientBoundsTest, BodyBeyondTheLimitFailsAndClosesTheConnection)
{
  const size_t limit = http::maxResponseBodySize();
  http::setMaxResponseBodySize(64 * 1024);

  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::endless());

  Future<http::Response> response = http::get(
      http::URL("http", net::IP(INADDR_LOOPBACK), server.port(), "/"));

  AWAIT_EXPECT_FAILURE_EQ(
      "Failed to receive response from 127.0.0.1:" + stringify(server.port()) +
          ": the body exceeds the limit of 65536 bytes",
      response);
  EXPECT_TRUE(server.waitForClientClose(1));

  // A declared length beyond the limit fails before any of it is read.
  fault_peer::FaultPeer declared;
  declared.setDefault(fault_peer::Behaviour::hugeBody(99999999));
  AWAIT_EXPECT_FAILED(http::get(
      http::URL("http", net::IP(INADDR_LOOPBACK), declared.port(), "/")));

  http::setMaxResponseBodySize(limit);
}


TEST(HttpClientBoundsTest, DiscardedRequestStopsReading)
{
  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::endless());

  Future<http::Response> response = http::get(
      http::URL("http", net::IP(INADDR_LOOPBACK), server.port(), "/"));
  response.discard();

  EXPECT_TRUE(server.waitForClientClose(1));
  AWAIT_EXPECT_DISCARDED(response);
}


TEST(HttpClientBoundsTest, RequestNobodyHoldsStopsReading)
{
  fault_peer::FaultPeer server;
  server.setDefault(fault_peer::Behaviour::endless());

  // The caller keeps no copy of the future.
  http::get(http::URL("http", net::IP(INADDR_LOOPBACK), server.port(), "/"));

  EXPECT_TRUE(server.waitForClientClose(1));
}
