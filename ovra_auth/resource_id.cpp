#include "ovra_auth/resource_id.hpp"

#include <glog/logging.h>

#include <stout/stringify.hpp>
#include <stout/strings.hpp>

namespace mesos {
namespace ovra {

namespace {

bool isPrefix(
    const std::vector<std::string>& prefix,
    const std::vector<std::string>& tokens)
{
  if (prefix.size() > tokens.size()) {
    return false;
  }

  for (size_t i = 0; i < prefix.size(); ++i) {
    if (prefix[i] != tokens[i]) {
      return false;
    }
  }

  return true;
}

} // namespace {


RIDTokens tokenizeRID(const std::string& rid)
{
  const size_t boundary = rid.find(":/");

  const std::string head =
    boundary == std::string::npos ? rid : rid.substr(0, boundary);

  const std::string tail =
    boundary == std::string::npos ? "" : rid.substr(boundary + 2);

  RIDTokens tokens;
  tokens.first = strings::split(head, ":");
  if (!tail.empty()) {
    tokens.second = strings::split(tail, "/");
  }

  return tokens;
}


bool matchTokens(const RIDTokens& acl, const RIDTokens& request)
{
  // Formatting the tokens costs more than the match itself.
  if (VLOG_IS_ON(2)) {
    VLOG(2) << "Matching ACL RID: '" << stringify(acl.first) << "', '"
            << stringify(acl.second) << "' with request RID: '"
            << stringify(request.first) << "', '"
            << stringify(request.second) << "'";
  }

  return isPrefix(acl.first, request.first) &&
         isPrefix(acl.second, request.second);
}


bool matchRID(const std::string& acl, const std::string& request)
{
  return matchTokens(tokenizeRID(acl), tokenizeRID(request));
}


bool superuser(const std::string& rid)
{
  return rid == SUPERUSER_RID;
}

} // namespace ovra {
} // namespace mesos {
