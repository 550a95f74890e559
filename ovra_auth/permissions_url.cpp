#include "ovra_auth/permissions_url.hpp"

#include <string>

#include <stout/error.hpp>

namespace http = process::http;

namespace mesos {
namespace ovra {

namespace {

// ASCII only, whatever the locale.
bool unreserved(unsigned char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
         c == '~';
}


// The characters that RFC 3986 allows unencoded in a path segment besides
// the unreserved ones.
bool segmentSafe(unsigned char c)
{
  return unreserved(c) || c == '!' || c == '$' || c == '&' || c == '\'' ||
         c == '(' || c == ')' || c == '*' || c == '+' || c == ',' ||
         c == ';' || c == '=' || c == ':' || c == '@';
}


// `value` as one path segment: "/", "?", "#", "%", blanks and other bytes
// that would end or change the segment are percent-encoded, and so are the
// dots that begin it, so that neither a dot-segment ("." or "..") nor a
// "/.." can appear. Ordinary names stay as they are.
std::string encodeSegment(const std::string& value)
{
  static const char HEX[] = "0123456789ABCDEF";

  std::string result;
  result.reserve(value.size());

  bool leading = true;
  for (const char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    leading = leading && c == '.';

    if (segmentSafe(byte) && !leading) {
      result += c;
    } else {
      result += '%';
      result += HEX[byte >> 4];
      result += HEX[byte & 0x0F];
    }
  }

  return result;
}

} // namespace {


Try<http::URL> permissionsURL(
    const OVRAAuthorizerFlags& flags,
    const std::string& principal)
{
  // An empty segment would leave ".../users//permissions", which servers
  // may read as another resource.
  if (principal.empty()) {
    return Error("Cannot fetch the permissions of an empty principal");
  }

  http::URL url = flags.iam;
  url.query["format"] = "json";
  url.path += flags.users + "/" + encodeSegment(principal) + "/" +
              flags.permissions;

  return url;
}

} // namespace ovra {
} // namespace mesos {
