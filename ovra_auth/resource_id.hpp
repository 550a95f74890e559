#ifndef __OVRA_AUTH_RESOURCE_ID_HPP__
#define __OVRA_AUTH_RESOURCE_ID_HPP__

// IAM resource ids and how a granted id covers a requested one. An id is a
// name part of ":"-separated tokens, optionally followed by ":/" and a path
// part of "/"-separated tokens (a space such as /prod/web). A granted id
// covers every id whose name and path tokens it prefixes. Pure functions.

#include <string>
#include <utility>
#include <vector>

namespace mesos {
namespace ovra {

// The id whose holder is granted every action on every resource.
constexpr char SUPERUSER_RID[] = "ovra:superuser";

// (name tokens, path tokens) of one id.
typedef std::pair<std::vector<std::string>, std::vector<std::string>>
  RIDTokens;

// Splits `rid` at its first ":/": the head at every ":", the tail (if not
// empty) at every "/". Empty tokens are kept, so "a::b" has three name
// tokens, "" one empty name token, and a trailing "/" an empty path token.
// A ":" inside the tail is an ordinary character.
RIDTokens tokenizeRID(const std::string& rid);

// Whether the granted id `acl` covers the requested id `request`: its name
// tokens prefix the request's name tokens and its path tokens prefix the
// request's path tokens, token by token.
bool matchRID(const std::string& acl, const std::string& request);

// The same on ids already tokenized (the approver tokenizes each granted
// id once, when the permissions are flattened).
bool matchTokens(const RIDTokens& acl, const RIDTokens& request);

// Whether `rid` is exactly the superuser id.
bool superuser(const std::string& rid);

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_RESOURCE_ID_HPP__
