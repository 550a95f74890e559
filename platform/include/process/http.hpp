#ifndef __PROCESS_HTTP_HPP__
#define __PROCESS_HTTP_HPP__

#include <ctype.h>
#include <stdint.h>

#include <initializer_list>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <process/address.hpp>
#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>

#include <stout/hashmap.hpp>
#include <stout/ip.hpp>
#include <stout/json.hpp>
#include <stout/jsonify.hpp>
#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

// HTTP values (URL, Request, Response, Headers) and the client: get, post
// and request, one connection per request. The server side
// lives in process.hpp (ProcessBase::route).

namespace process {
namespace http {

namespace authentication {

class Authenticator;

// Installs or replaces the authenticator of `realm`; routes installed with
// that realm consult it before their handler runs.
Future<Nothing> setAuthenticator(
    const std::string& realm,
    Owned<Authenticator> authenticator);

Future<Nothing> unsetAuthenticator(const std::string& realm);

} // namespace authentication {


struct URL
{
  URL() = default;

  URL(const std::string& scheme_,
      const std::string& domain_,
      const uint16_t port_ = 80,
      const std::string& path_ = "/",
      const hashmap<std::string, std::string>& query_ =
        (hashmap<std::string, std::string>()),
      const Option<std::string>& fragment_ = None())
    : scheme(scheme_),
      domain(domain_),
      port(port_),
      path(path_),
      query(query_),
      fragment(fragment_) {}

  URL(const std::string& scheme_,
      const net::IP& ip_,
      const uint16_t port_ = 80,
      const std::string& path_ = "/",
      const hashmap<std::string, std::string>& query_ =
        (hashmap<std::string, std::string>()),
      const Option<std::string>& fragment_ = None())
    : scheme(scheme_),
      ip(ip_),
      port(port_),
      path(path_),
      query(query_),
      fragment(fragment_) {}

  // Parses "scheme://host[:port][/path]". As in libprocess, a query or
  // fragment is not split off: it stays part of `path`; the host always
  // goes to `domain`, even when it is an IP address.
  static Try<URL> parse(const std::string& urlString);

  Option<std::string> scheme;
  Option<std::string> domain;
  Option<net::IP> ip;
  Option<uint16_t> port;
  std::string path;
  hashmap<std::string, std::string> query;
  Option<std::string> fragment;
};


// "scheme://host:port/path?query#fragment", each part only when set; the
// query is percent-encoded.
std::ostream& operator<<(std::ostream& stream, const URL& url);


struct CaseInsensitiveHash
{
  size_t operator()(const std::string& key) const
  {
    size_t seed = 0;
    for (char c : key) {
      const size_t lower = static_cast<size_t>(::tolower(c));
      seed ^= lower + 0x9e3779b9 + (seed << 6) + (seed >> 2);
    }
    return seed;
  }
};


struct CaseInsensitiveEqual
{
  bool operator()(const std::string& left, const std::string& right) const
  {
    if (left.size() != right.size()) {
      return false;
    }
    for (size_t i = 0; i < left.size(); ++i) {
      if (::tolower(left[i]) != ::tolower(right[i])) {
        return false;
      }
    }
    return true;
  }
};


struct Status
{
  static const uint16_t CONTINUE;
  static const uint16_t SWITCHING_PROTOCOLS;
  static const uint16_t OK;
  static const uint16_t CREATED;
  static const uint16_t ACCEPTED;
  static const uint16_t NON_AUTHORITATIVE_INFORMATION;
  static const uint16_t NO_CONTENT;
  static const uint16_t RESET_CONTENT;
  static const uint16_t PARTIAL_CONTENT;
  static const uint16_t MULTIPLE_CHOICES;
  static const uint16_t MOVED_PERMANENTLY;
  static const uint16_t FOUND;
  static const uint16_t SEE_OTHER;
  static const uint16_t NOT_MODIFIED;
  static const uint16_t USE_PROXY;
  static const uint16_t TEMPORARY_REDIRECT;
  static const uint16_t BAD_REQUEST;
  static const uint16_t UNAUTHORIZED;
  static const uint16_t PAYMENT_REQUIRED;
  static const uint16_t FORBIDDEN;
  static const uint16_t NOT_FOUND;
  static const uint16_t METHOD_NOT_ALLOWED;
  static const uint16_t NOT_ACCEPTABLE;
  static const uint16_t PROXY_AUTHENTICATION_REQUIRED;
  static const uint16_t REQUEST_TIMEOUT;
  static const uint16_t CONFLICT;
  static const uint16_t GONE;
  static const uint16_t LENGTH_REQUIRED;
  static const uint16_t PRECONDITION_FAILED;
  static const uint16_t REQUEST_ENTITY_TOO_LARGE;
  static const uint16_t REQUEST_URI_TOO_LARGE;
  static const uint16_t UNSUPPORTED_MEDIA_TYPE;
  static const uint16_t REQUESTED_RANGE_NOT_SATISFIABLE;
  static const uint16_t EXPECTATION_FAILED;
  static const uint16_t INTERNAL_SERVER_ERROR;
  static const uint16_t NOT_IMPLEMENTED;
  static const uint16_t BAD_GATEWAY;
  static const uint16_t SERVICE_UNAVAILABLE;
  static const uint16_t GATEWAY_TIMEOUT;
  static const uint16_t HTTP_VERSION_NOT_SUPPORTED;

  // The status line text of a code, "404 Not Found"; the bare number for a
  // code outside the table.
  static std::string string(uint16_t code);

  // Whether the code is in the table.
  static bool known(uint16_t code);
};


// Header fields; names are matched without regard to case.
class Headers : public hashmap<
    std::string,
    std::string,
    CaseInsensitiveHash,
    CaseInsensitiveEqual>
{
public:
  Headers() {}

  Headers(const std::map<std::string, std::string>& map)
  {
    insert(map.begin(), map.end());
  }

  Headers(std::initializer_list<std::pair<std::string, std::string>> list)
  {
    for (const auto& entry : list) {
      (*this)[entry.first] = entry.second;
    }
  }

  Option<std::string> get(const std::string& key) const
  {
    auto it = find(key);
    if (it == end()) {
      return None();
    }
    return it->second;
  }
};


// One direction of a streamed body: the writer's strings reach the reader
// in order, one per read; an empty read is the end. Copies share the pipe;
// any thread may use either end.
class Pipe
{
private:
  struct Data;

public:
  class Reader
  {
  public:
    // The next string written; "" at the end; failed when the writer
    // failed or this end is closed.
    Future<std::string> read();

    // Every string to the end, joined.
    Future<std::string> readAll();

    // Tells the writer that nobody reads any more; what was written and
    // not read is dropped. False when this end was closed already.
    bool close();

    bool operator==(const Reader& other) const { return data == other.data; }
    bool operator!=(const Reader& other) const { return !(*this == other); }

  private:
    friend class Pipe;

    enum State
    {
      OPEN,
      CLOSED,
    };

    explicit Reader(const std::shared_ptr<Data>& _data) : data(_data) {}

    std::shared_ptr<Data> data;
  };

  class Writer
  {
  public:
    // False when either end is closed (the string is dropped); an empty
    // string writes nothing.
    bool write(std::string s);

    // Ends the stream: the reader reads "" after what was written.
    bool close();

    // Ends the stream with a failure of the reader's reads.
    bool fail(const std::string& message);

    // Ready once the reader closed its end before this end was closed.
    Future<Nothing> readerClosed() const;

    bool operator==(const Writer& other) const { return data == other.data; }
    bool operator!=(const Writer& other) const { return !(*this == other); }

  private:
    friend class Pipe;

    enum State
    {
      OPEN,
      CLOSED,
      FAILED,
    };

    explicit Writer(const std::shared_ptr<Data>& _data) : data(_data) {}

    std::shared_ptr<Data> data;
  };

  Pipe();

  Reader reader() const;
  Writer writer() const;

  bool operator==(const Pipe& other) const { return data == other.data; }
  bool operator!=(const Pipe& other) const { return !(*this == other); }

private:
  std::shared_ptr<Data> data;
};


struct Request
{
  Request() : keepAlive(false), type(BODY) {}

  std::string method;

  // Incoming requests have only path, query (decoded) and fragment set.
  URL url;

  Headers headers;

  bool keepAlive;

  // The peer of an incoming request.
  Option<network::Address> client;

  // The client sends BODY requests only: streaming (PIPE) is not
  // supported.
  enum
  {
    BODY,
    PIPE
  } type;

  std::string body;

  Option<Pipe::Reader> reader;
};


struct Response
{
  Response() : type(NONE), code(0) {}

  Response(uint16_t code_) : type(NONE), code(code_)
  {
    status = Status::string(code);
  }

  explicit Response(
      const std::string& body_,
      uint16_t code_,
      const std::string& contentType = "text/plain; charset=utf-8")
    : type(BODY), body(body_), code(code_)
  {
    headers["Content-Length"] = stringify(body.size());
    headers["Content-Type"] = contentType;
    status = Status::string(code);
  }

  // The status line text for `code`, e.g. "200 OK".
  std::string status;

  Headers headers;

  // The server here answers PATH (a file to send) and PIPE (streaming)
  // responses as errors; the client gives PIPE responses to a Connection's
  // streamed sends.
  enum
  {
    NONE,
    BODY,
    PATH,
    PIPE
  } type;

  std::string body;
  std::string path;

  // A PIPE response's body.
  Option<Pipe::Reader> reader;

  uint16_t code;
};


struct OK : Response
{
  OK() : Response(Status::OK) {}

  explicit OK(const char* body) : Response(std::string(body), Status::OK) {}

  explicit OK(const std::string& body) : Response(body, Status::OK) {}

  OK(const std::string& body, const std::string& contentType)
    : Response(body, Status::OK, contentType) {}

  // The value as JSON ("application/json"), or with `jsonp` as the call
  // "jsonp(value);" ("text/javascript").
  OK(const JSON::Value& value, const Option<std::string>& jsonp = None());
  OK(JSON::Proxy&& value, const Option<std::string>& jsonp = None());
};


struct Accepted : Response
{
  Accepted() : Response(Status::ACCEPTED) {}

  explicit Accepted(const std::string& body)
    : Response(body, Status::ACCEPTED) {}
};


struct TemporaryRedirect : Response
{
  explicit TemporaryRedirect(const std::string& url)
    : Response(Status::TEMPORARY_REDIRECT)
  {
    headers["Location"] = url;
  }
};


struct BadRequest : Response
{
  BadRequest() : Response(Status::BAD_REQUEST) {}

  explicit BadRequest(const std::string& body)
    : Response(body, Status::BAD_REQUEST) {}
};


// 401 with a WWW-Authenticate header holding the challenges joined by ", ".
struct Unauthorized : Response
{
  explicit Unauthorized(const std::vector<std::string>& challenges)
    : Response(Status::UNAUTHORIZED)
  {
    headers["WWW-Authenticate"] = strings::join(", ", challenges);
  }

  Unauthorized(
      const std::vector<std::string>& challenges,
      const std::string& body)
    : Response(body, Status::UNAUTHORIZED)
  {
    headers["WWW-Authenticate"] = strings::join(", ", challenges);
  }
};


struct Forbidden : Response
{
  Forbidden() : Response(Status::FORBIDDEN) {}

  explicit Forbidden(const std::string& body)
    : Response(body, Status::FORBIDDEN) {}
};


struct NotFound : Response
{
  NotFound() : Response(Status::NOT_FOUND) {}

  explicit NotFound(const std::string& body)
    : Response(body, Status::NOT_FOUND) {}
};


struct MethodNotAllowed : Response
{
  explicit MethodNotAllowed(
      const std::initializer_list<std::string>& allowedMethods)
    : Response(Status::METHOD_NOT_ALLOWED)
  {
    headers["Allow"] = strings::join(", ", allowedMethods);
  }

  MethodNotAllowed(
      const std::initializer_list<std::string>& allowedMethods,
      const std::string& requestMethod)
    : Response(
          "Expecting one of { '" + strings::join("', '", allowedMethods) +
            "' }, but received '" + requestMethod + "'",
          Status::METHOD_NOT_ALLOWED)
  {
    headers["Allow"] = strings::join(", ", allowedMethods);
  }
};


struct NotAcceptable : Response
{
  NotAcceptable() : Response(Status::NOT_ACCEPTABLE) {}

  explicit NotAcceptable(const std::string& body)
    : Response(body, Status::NOT_ACCEPTABLE) {}
};


struct Conflict : Response
{
  Conflict() : Response(Status::CONFLICT) {}

  explicit Conflict(const std::string& body)
    : Response(body, Status::CONFLICT) {}
};


struct PreconditionFailed : Response
{
  PreconditionFailed() : Response(Status::PRECONDITION_FAILED) {}

  explicit PreconditionFailed(const std::string& body)
    : Response(body, Status::PRECONDITION_FAILED) {}
};


struct UnsupportedMediaType : Response
{
  UnsupportedMediaType() : Response(Status::UNSUPPORTED_MEDIA_TYPE) {}

  explicit UnsupportedMediaType(const std::string& body)
    : Response(body, Status::UNSUPPORTED_MEDIA_TYPE) {}
};


struct InternalServerError : Response
{
  InternalServerError() : Response(Status::INTERNAL_SERVER_ERROR) {}

  explicit InternalServerError(const std::string& body)
    : Response(body, Status::INTERNAL_SERVER_ERROR) {}
};


struct NotImplemented : Response
{
  NotImplemented() : Response(Status::NOT_IMPLEMENTED) {}

  explicit NotImplemented(const std::string& body)
    : Response(body, Status::NOT_IMPLEMENTED) {}
};


struct ServiceUnavailable : Response
{
  ServiceUnavailable() : Response(Status::SERVICE_UNAVAILABLE) {}

  explicit ServiceUnavailable(const std::string& body)
    : Response(body, Status::SERVICE_UNAVAILABLE) {}
};


// Percent-encodes the reserved and unsafe characters of `s` (upper-case
// hex), and every byte below 0x20 or above 0x7f.
std::string encode(const std::string& s);

// Undoes encode(); '+' becomes a blank. Fails on a malformed escape.
Try<std::string> decode(const std::string& s);


namespace query {

// "k=v&k2" into a map; keys and values are decoded.
Try<hashmap<std::string, std::string>> decode(const std::string& query);

// The inverse: encoded "key=value" pairs joined by '&', "=value" left out
// for an empty value.
std::string encode(const hashmap<std::string, std::string>& query);

} // namespace query {


Request createRequest(
    const URL& url,
    const std::string& method,
    const Option<Headers>& headers = None(),
    const Option<std::string>& body = None(),
    const Option<std::string>& contentType = None());

Request createRequest(
    const UPID& upid,
    const std::string& method,
    bool enableSSL = false,
    const Option<std::string>& path = None(),
    const Option<Headers>& headers = None(),
    const Option<std::string>& body = None(),
    const Option<std::string>& contentType = None());

enum class Scheme {
  HTTP,
  HTTPS
};


// A connection to a server, for one request after another (pipelined when
// sent before the previous answer). Copies share it; it closes when the
// last copy goes, or on disconnect().
class Connection
{
public:
  Connection() = delete;

  // The answer to `request`. With `streamedResponse` its body is a PIPE
  // read from `reader` as it arrives; else the whole body, read first.
  // After a request or answer with "Connection: close" the connection
  // closes once that answer is complete.
  Future<Response> send(const Request& request, bool streamedResponse = false);

  // Closes the connection: answers still due fail with "Disconnected", a
  // body still streaming fails its reader.
  Future<Nothing> disconnect();

  // Ready once the connection has closed, by either side.
  Future<Nothing> disconnected();

  bool operator==(const Connection& c) const { return data == c.data; }
  bool operator!=(const Connection& c) const { return !(*this == c); }

  struct Data;

private:
  explicit Connection(const std::shared_ptr<Data>& _data) : data(_data) {}

  friend Future<Connection> connect(
      const network::Address& address, Scheme scheme);
  friend Future<Connection> connect(const URL& url);

  std::shared_ptr<Data> data;
};


Future<Connection> connect(const network::Address& address, Scheme scheme);

Future<Connection> connect(const URL& url);


// Sends `request` over a new connection (closed after the response) and
// returns the response. Failures: the connection could not be made or
// broke, the response could not be decoded, or its body exceeds
// maxResponseBodySize(). Discarding the returned future closes the
// connection and discards it; so does dropping every copy of the future.
Future<Response> request(
    const Request& request,
    bool streamedResponse = false);

// Stand-in only (libprocess 1.2.0 reads a response body of any size): the
// largest response body that request() accepts, 64 MiB unless set. A larger
// body fails the request with "Failed to receive response from <peer>: the
// body exceeds the limit of <bytes> bytes" and closes the connection.
void setMaxResponseBodySize(size_t bytes);
size_t maxResponseBodySize();

Future<Response> get(
    const URL& url,
    const Option<Headers>& headers = None());

Future<Response> get(
    const UPID& upid,
    const Option<std::string>& path = None(),
    const Option<std::string>& query = None(),
    const Option<Headers>& headers = None(),
    const Option<std::string>& scheme = None());

Future<Response> post(
    const URL& url,
    const Option<Headers>& headers = None(),
    const Option<std::string>& body = None(),
    const Option<std::string>& contentType = None());

Future<Response> post(
    const UPID& upid,
    const Option<std::string>& path = None(),
    const Option<Headers>& headers = None(),
    const Option<std::string>& body = None(),
    const Option<std::string>& contentType = None(),
    const Option<std::string>& scheme = None());

} // namespace http {
} // namespace process {

#endif // __PROCESS_HTTP_HPP__
