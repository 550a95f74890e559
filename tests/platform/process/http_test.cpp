#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/http.hpp>

#include <stout/json.hpp>
#include <stout/stringify.hpp>

using process::http::Headers;
using process::http::MethodNotAllowed;
using process::http::OK;
using process::http::Response;
using process::http::Status;
using process::http::Unauthorized;
using process::http::URL;

using std::string;


TEST(UrlTest, ParseAcceptsWhatLibprocessAccepts)
{
  struct Case
  {
    string text;
    string scheme;
    string domain;
    uint16_t port;
    string path;
  };

  const std::vector<Case> cases = {
      {"http://example.com", "http", "example.com", 80, "/"},
      {"HTTPS://example.com/a/b", "https", "example.com", 443, "/a/b"},
      {"http://10.0.0.1:8101/acs/api", "http", "10.0.0.1", 8101, "/acs/api"},
      // Query and fragment are left in the path.
      {"http://h:1/p?x=1#f", "http", "h", 1, "/p?x=1#f"},
  };

  for (const Case& c : cases) {
    Try<URL> url = URL::parse(c.text);
    ASSERT_TRUE(url.isSome()) << c.text << ": " << url.error();
    EXPECT_EQ(c.scheme, url->scheme.get()) << c.text;
    EXPECT_EQ(c.domain, url->domain.get()) << c.text;
    EXPECT_TRUE(url->ip.isNone()) << c.text;
    EXPECT_EQ(c.port, url->port.get()) << c.text;
    EXPECT_EQ(c.path, url->path) << c.text;
  }
}


TEST(UrlTest, ParseRejectsWithLibprocessMessages)
{
  const std::vector<std::pair<string, string>> cases = {
      {"example.com", "Missing scheme in url string"},
      {"http:///path", "Host not found in url"},
      {"http://", "Host not found in url"},
      {"http://h:1:2/", "Found multiple ports in url"},
      {"ftp://h/", "Unable to determine port from url"},
  };

  for (const auto& c : cases) {
    Try<URL> url = URL::parse(c.first);
    ASSERT_TRUE(url.isError()) << c.first;
    EXPECT_EQ(c.second, url.error()) << c.first;
  }

  for (const char* port : {"port", "65536", "6553465534", "120.0"}) {
    Try<URL> badPort = URL::parse("http://h:" + string(port) + "/");
    ASSERT_TRUE(badPort.isError()) << port;
    EXPECT_EQ(0u, badPort.error().find("Failed to parse port: ")) << port;
  }
}


TEST(UrlTest, StringifiesAsLibprocessDoes)
{
  EXPECT_EQ(
      "http://h:8101//acs/x?format=json",
      stringify(URL("http", "h", 8101, "//acs/x", {{"format", "json"}})));
  EXPECT_EQ("http://h:8101/acs/x", stringify(URL("http", "h", 8101, "acs/x")));
  EXPECT_EQ(
      "https://127.0.0.1:443/p#frag",
      stringify(URL("https", net::IP(INADDR_LOOPBACK), 443, "/p", {}, "frag")));
  EXPECT_EQ(
      "http://h:80/?k=a%20b%2Fc",
      stringify(URL("http", "h", 80, "/", {{"k", "a b/c"}})));

  // Incoming requests carry only the path part.
  URL incoming;
  incoming.path = "/master/state";
  incoming.query["x"] = "1";
  EXPECT_EQ("/master/state?x=1", stringify(incoming));
}


TEST(UrlTest, QueryEncodingRoundTrips)
{
  EXPECT_EQ("a%20b%2Fc%3F%26%3D%25", process::http::encode("a b/c?&=%"));
  EXPECT_EQ("%0A%7E%C3%A9", process::http::encode("\n~\xc3\xa9"));
  EXPECT_EQ("plain-._", process::http::encode("plain-._"));

  Try<string> decoded = process::http::decode("a%20b+c");
  ASSERT_TRUE(decoded.isSome());
  EXPECT_EQ("a b c", decoded.get());
  EXPECT_TRUE(process::http::decode("bad%2").isError());
  EXPECT_TRUE(process::http::decode("bad%zz").isError());

  Try<hashmap<string, string>> query =
      process::http::query::decode("a=1&b=x%20y;flag");
  ASSERT_TRUE(query.isSome());
  EXPECT_EQ("1", query->at("a"));
  EXPECT_EQ("x y", query->at("b"));
  EXPECT_EQ("", query->at("flag"));

  EXPECT_EQ("k=v%26w", process::http::query::encode({{"k", "v&w"}}));
  EXPECT_EQ("flag", process::http::query::encode({{"flag", ""}}));
}


TEST(StatusTest, TextsComeFromTheTable)
{
  EXPECT_EQ("200 OK", Status::string(200));
  EXPECT_EQ("404 Not Found", Status::string(Status::NOT_FOUND));
  EXPECT_EQ("408 Request Time-out", Status::string(408));
  EXPECT_EQ("416 Requested range not satisfiable", Status::string(416));
  EXPECT_EQ("505 HTTP Version not supported", Status::string(505));
  EXPECT_EQ("299", Status::string(299));
}


TEST(ResponseTest, BodyConstructorSetsLengthTypeAndStatus)
{
  OK ok("hello");
  EXPECT_EQ("200 OK", ok.status);
  EXPECT_EQ(200, ok.code);
  EXPECT_EQ(Response::BODY, ok.type);
  EXPECT_EQ("5", ok.headers.get("content-length").get());
  EXPECT_EQ("text/plain; charset=utf-8", ok.headers.get("Content-Type").get());

  Unauthorized unauthorized({"acsjwt", "Basic realm=\"x\""});
  EXPECT_EQ("401 Unauthorized", unauthorized.status);
  EXPECT_EQ(
      "acsjwt, Basic realm=\"x\"",
      unauthorized.headers.get("www-authenticate").get());

  MethodNotAllowed notAllowed({"GET", "POST"}, "PUT");
  EXPECT_EQ("GET, POST", notAllowed.headers.get("Allow").get());
  EXPECT_EQ(
      "Expecting one of { 'GET', 'POST' }, but received 'PUT'",
      notAllowed.body);
}


TEST(ResponseTest, JsonBodiesAndJsonp)
{
  JSON::Object object;
  object.values["a"] = 1;

  OK json(object);
  EXPECT_EQ("{\"a\":1}", json.body);
  EXPECT_EQ("application/json", json.headers.get("Content-Type").get());
  EXPECT_EQ(
      stringify(json.body.size()), json.headers.get("Content-Length").get());

  OK jsonp(object, string("callback"));
  EXPECT_EQ("callback({\"a\":1});", jsonp.body);
  EXPECT_EQ("text/javascript", jsonp.headers.get("Content-Type").get());
}


TEST(HeadersTest, NamesMatchWithoutRegardToCase)
{
  Headers headers = {{"Content-Type", "a"}};
  headers["content-type"] = "b";
  EXPECT_EQ(1u, headers.size());
  EXPECT_EQ("b", headers.get("CONTENT-TYPE").get());
  EXPECT_TRUE(headers.contains("Content-type"));
  EXPECT_TRUE(headers.get("missing").isNone());
}
