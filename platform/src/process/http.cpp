#include <ctype.h>
#include <limits.h>

#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <process/http.hpp>

#include <stout/numify.hpp>
#include <stout/strings.hpp>

// The value types of http.hpp and the request helpers; the wire work of
// request() is in http_client.cpp.

namespace process {
namespace http {

const uint16_t Status::CONTINUE = 100;
const uint16_t Status::SWITCHING_PROTOCOLS = 101;
const uint16_t Status::OK = 200;
const uint16_t Status::CREATED = 201;
const uint16_t Status::ACCEPTED = 202;
const uint16_t Status::NON_AUTHORITATIVE_INFORMATION = 203;
const uint16_t Status::NO_CONTENT = 204;
const uint16_t Status::RESET_CONTENT = 205;
const uint16_t Status::PARTIAL_CONTENT = 206;
const uint16_t Status::MULTIPLE_CHOICES = 300;
const uint16_t Status::MOVED_PERMANENTLY = 301;
const uint16_t Status::FOUND = 302;
const uint16_t Status::SEE_OTHER = 303;
const uint16_t Status::NOT_MODIFIED = 304;
const uint16_t Status::USE_PROXY = 305;
const uint16_t Status::TEMPORARY_REDIRECT = 307;
const uint16_t Status::BAD_REQUEST = 400;
const uint16_t Status::UNAUTHORIZED = 401;
const uint16_t Status::PAYMENT_REQUIRED = 402;
const uint16_t Status::FORBIDDEN = 403;
const uint16_t Status::NOT_FOUND = 404;
const uint16_t Status::METHOD_NOT_ALLOWED = 405;
const uint16_t Status::NOT_ACCEPTABLE = 406;
const uint16_t Status::PROXY_AUTHENTICATION_REQUIRED = 407;
const uint16_t Status::REQUEST_TIMEOUT = 408;
const uint16_t Status::CONFLICT = 409;
const uint16_t Status::GONE = 410;
const uint16_t Status::LENGTH_REQUIRED = 411;
const uint16_t Status::PRECONDITION_FAILED = 412;
const uint16_t Status::REQUEST_ENTITY_TOO_LARGE = 413;
const uint16_t Status::REQUEST_URI_TOO_LARGE = 414;
const uint16_t Status::UNSUPPORTED_MEDIA_TYPE = 415;
const uint16_t Status::REQUESTED_RANGE_NOT_SATISFIABLE = 416;
const uint16_t Status::EXPECTATION_FAILED = 417;
const uint16_t Status::INTERNAL_SERVER_ERROR = 500;
const uint16_t Status::NOT_IMPLEMENTED = 501;
const uint16_t Status::BAD_GATEWAY = 502;
const uint16_t Status::SERVICE_UNAVAILABLE = 503;
const uint16_t Status::GATEWAY_TIMEOUT = 504;
const uint16_t Status::HTTP_VERSION_NOT_SUPPORTED = 505;


namespace {

const std::map<uint16_t, std::string>& statuses()
{
  static const std::map<uint16_t, std::string>* statuses =
    new std::map<uint16_t, std::string>{
      {100, "100 Continue"},
      {101, "101 Switching Protocols"},
      {200, "200 OK"},
      {201, "201 Created"},
      {202, "202 Accepted"},
      {203, "203 Non-Authoritative Information"},
      {204, "204 No Content"},
      {205, "205 Reset Content"},
      {206, "206 Partial Content"},
      {300, "300 Multiple Choices"},
      {301, "301 Moved Permanently"},
      {302, "302 Found"},
      {303, "303 See Other"},
      {304, "304 Not Modified"},
      {305, "305 Use Proxy"},
      {307, "307 Temporary Redirect"},
      {400, "400 Bad Request"},
      {401, "401 Unauthorized"},
      {402, "402 Payment Required"},
      {403, "403 Forbidden"},
      {404, "404 Not Found"},
      {405, "405 Method Not Allowed"},
      {406, "406 Not Acceptable"},
      {407, "407 Proxy Authentication Required"},
      {408, "408 Request Time-out"},
      {409, "409 Conflict"},
      {410, "410 Gone"},
      {411, "411 Length Required"},
      {412, "412 Precondition Failed"},
      {413, "413 Request Entity Too Large"},
      {414, "414 Request-URI Too Large"},
      {415, "415 Unsupported Media Type"},
      {416, "416 Requested range not satisfiable"},
      {417, "417 Expectation Failed"},
      {500, "500 Internal Server Error"},
      {501, "501 Not Implemented"},
      {502, "502 Bad Gateway"},
      {503, "503 Service Unavailable"},
      {504, "504 Gateway Time-out"},
      {505, "505 HTTP Version not supported"},
    };
  return *statuses;
}


Option<uint16_t> defaultPort(const std::string& scheme)
{
  if (scheme == "http") {
    return 80;
  }
  if (scheme == "https") {
    return 443;
  }
  return None();
}

} // namespace {


namespace {

template <typename W>
std::string jsonBody(W&& write, const Option<std::string>& jsonp)
{
  std::ostringstream out;
  if (jsonp.isSome()) {
    out << jsonp.get() << "(";
  }
  write(out);
  if (jsonp.isSome()) {
    out << ");";
  }
  return out.str();
}

} // namespace {


OK::OK(const JSON::Value& value, const Option<std::string>& jsonp)
  : Response(
        jsonBody([&value](std::ostream& out) { out << value; }, jsonp),
        Status::OK,
        jsonp.isSome() ? "text/javascript" : "application/json") {}


OK::OK(JSON::Proxy&& value, const Option<std::string>& jsonp)
  : Response(
        jsonBody(
            [&value](std::ostream& out) { out << std::move(value); }, jsonp),
        Status::OK,
        jsonp.isSome() ? "text/javascript" : "application/json") {}


std::string Status::string(uint16_t code)
{
  auto it = statuses().find(code);
  return it != statuses().end() ? it->second : stringify(code);
}


bool Status::known(uint16_t code)
{
  return statuses().count(code) > 0;
}


Try<URL> URL::parse(const std::string& urlString)
{
  const size_t schemeEnd = urlString.find("://");
  if (schemeEnd == std::string::npos) {
    return Error("Missing scheme in url string");
  }

  const std::string scheme = strings::lower(urlString.substr(0, schemeEnd));
  const std::string rest = urlString.substr(schemeEnd + 3);

  const size_t pathStart = rest.find('/');
  if (pathStart == 0) {
    return Error("Host not found in url");
  }

  std::string host = rest;
  std::string path = "/";
  if (pathStart != std::string::npos) {
    host = rest.substr(0, pathStart);
    path = rest.substr(pathStart);
  }

  if (host.empty()) {
    return Error("Host not found in url");
  }

  const std::vector<std::string> tokens = strings::tokenize(host, ":");
  if (tokens.empty() || tokens[0].empty()) {
    return Error("Host not found in url");
  }

  if (tokens.size() > 2) {
    return Error("Found multiple ports in url");
  }

  Option<uint16_t> port;
  if (tokens.size() == 2) {
    Try<uint16_t> parsed = numify<uint16_t>(tokens[1]);
    if (parsed.isError()) {
      return Error("Failed to parse port: " + parsed.error());
    }
    port = parsed.get();
  } else {
    port = defaultPort(scheme);
  }

  if (port.isNone()) {
    return Error("Unable to determine port from url");
  }

  return URL(scheme, tokens[0], port.get(), path);
}


std::ostream& operator<<(std::ostream& stream, const URL& url)
{
  if (url.scheme.isSome()) {
    stream << url.scheme.get() << "://";
  }

  if (url.domain.isSome()) {
    stream << url.domain.get();
  } else if (url.ip.isSome()) {
    stream << url.ip.get();
  }

  if (url.port.isSome()) {
    stream << ":" << url.port.get();
  }

  stream << "/" << strings::remove(url.path, "/", strings::PREFIX);

  if (!url.query.empty()) {
    stream << "?" << query::encode(url.query);
  }

  if (url.fragment.isSome()) {
    stream << "#" << url.fragment.get();
  }

  return stream;
}


std::string encode(const std::string& s)
{
  static const std::string reserved = "$&+,/:;=?@ \"<>#%{}|\\^~[]`";

  std::ostringstream out;
  for (unsigned char c : s) {
    if (reserved.find(static_cast<char>(c)) != std::string::npos ||
        c < 0x20 || c > 0x7F) {
      out << '%' << std::setfill('0') << std::setw(2) << std::hex
          << std::uppercase << static_cast<unsigned int>(c);
    } else {
      out << c;
    }
  }
  return out.str();
}


Try<std::string> decode(const std::string& s)
{
  std::string out;
  out.reserve(s.size());

  for (size_t i = 0; i < s.length(); ++i) {
    if (s[i] != '%') {
      out += s[i] == '+' ? ' ' : s[i];
      continue;
    }

    if (i + 2 >= s.length() ||
        !isxdigit(static_cast<unsigned char>(s[i + 1])) ||
        !isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      return Error(
          "Malformed % escape in '" + s + "': '" + s.substr(i, 3) + "'");
    }

    out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }

  return out;
}


namespace query {

Try<hashmap<std::string, std::string>> decode(const std::string& query)
{
  hashmap<std::string, std::string> result;

  for (const std::string& token : strings::tokenize(query, ";&")) {
    const std::vector<std::string> pair = strings::split(token, "=", 2);
    if (pair.empty()) {
      continue;
    }

    Try<std::string> key = http::decode(pair[0]);
    if (key.isError()) {
      return Error(key.error());
    }

    if (pair.size() == 2) {
      Try<std::string> value = http::decode(pair[1]);
      if (value.isError()) {
        return Error(value.error());
      }
      result[key.get()] = value.get();
    } else {
      result[key.get()] = "";
    }
  }

  return result;
}


std::string encode(const hashmap<std::string, std::string>& query)
{
  std::string output;
  for (const auto& entry : query) {
    if (!output.empty()) {
      output += '&';
    }
    output += http::encode(entry.first);
    if (!entry.second.empty()) {
      output += "=" + http::encode(entry.second);
    }
  }
  return output;
}

} // namespace query {


Request createRequest(
    const URL& url,
    const std::string& method,
    const Option<Headers>& headers,
    const Option<std::string>& body,
    const Option<std::string>& contentType)
{
  Request request;
  request.method = method;
  request.url = url;
  request.keepAlive = false;

  if (headers.isSome()) {
    request.headers = headers.get();
  }

  if (body.isSome()) {
    request.body = body.get();
  }

  if (contentType.isSome()) {
    request.headers["Content-Type"] = contentType.get();
  }

  return request;
}


namespace {

URL upidUrl(
    const UPID& upid,
    const Option<std::string>& path,
    const std::string& scheme)
{
  URL url(scheme, upid.address.ip, upid.address.port, upid.id);
  if (path.isSome()) {
    url.path = strings::join("/", url.path, path.get());
  }
  return url;
}

} // namespace {


Request createRequest(
    const UPID& upid,
    const std::string& method,
    bool enableSSL,
    const Option<std::string>& path,
    const Option<Headers>& headers,
    const Option<std::string>& body,
    const Option<std::string>& contentType)
{
  return createRequest(
      upidUrl(upid, path, enableSSL ? "https" : "http"),
      method,
      headers,
      body,
      contentType);
}


Future<Response> get(const URL& url, const Option<Headers>& headers)
{
  return request(createRequest(url, "GET", headers), false);
}


Future<Response> get(
    const UPID& upid,
    const Option<std::string>& path,
    const Option<std::string>& query,
    const Option<Headers>& headers,
    const Option<std::string>& scheme)
{
  URL url = upidUrl(upid, path, scheme.getOrElse("http"));

  if (query.isSome()) {
    Try<hashmap<std::string, std::string>> decoded = query::decode(
        strings::remove(query.get(), "?", strings::PREFIX));
    if (decoded.isError()) {
      return Failure("Failed to decode HTTP query string: " + decoded.error());
    }
    url.query = decoded.get();
  }

  return get(url, headers);
}


Future<Response> post(
    const URL& url,
    const Option<Headers>& headers,
    const Option<std::string>& body,
    const Option<std::string>& contentType)
{
  if (body.isNone() && contentType.isSome()) {
    return Failure("Attempted to do a POST with a Content-Type but no body");
  }

  return request(createRequest(url, "POST", headers, body, contentType), false);
}


Future<Response> post(
    const UPID& upid,
    const Option<std::string>& path,
    const Option<Headers>& headers,
    const Option<std::string>& body,
    const Option<std::string>& contentType,
    const Option<std::string>& scheme)
{
  return post(
      upidUrl(upid, path, scheme.getOrElse("http")),
      headers,
      body,
      contentType);
}


} // namespace http {
} // namespace process {
