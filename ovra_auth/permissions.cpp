#include "ovra_auth/permissions.hpp"

#include <glog/logging.h>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/bounded_json.hpp"

namespace mesos {
namespace ovra {

namespace {

// The single bits in the order in which they are written.
const struct
{
  Action bit;
  const char* word;
} WORDS[] = {
  {CREATE, "create"},
  {READ, "read"},
  {UPDATE, "update"},
  {DELETE, "delete"},
};


template <typename Entry>
void append(
    const char* kind,
    const google::protobuf::RepeatedPtrField<Entry>& entries,
    Permissions* permissions)
{
  for (const Entry& entry : entries) {
    process::Owned<Permission> permission(new Permission(entry));
    if (!permission->valid()) {
      LOG(WARNING) << "Skipping invalid '" << kind << "' permission:\n"
                   << entry.DebugString();
      continue;
    }
    permissions->push_back(permission);
  }
}

} // namespace {


bool matchAction(Action requested, Action granted)
{
  return (requested & granted) == requested;
}


std::string stringifyAction(Action action)
{
  if (action < CREATE || action > FULL) {
    return "UNKNOWN";
  }

  std::vector<std::string> words;
  for (const auto& word : WORDS) {
    if ((action & word.bit) != 0) {
      words.push_back(word.word);
    }
  }

  return strings::join(" | ", words);
}


bool grants(
    const Permission& permission,
    const RIDTokens& requested,
    Action action)
{
  if (superuser(permission.rid_)) {
    return true;
  }

  return matchAction(action, permission.actions_) &&
         matchTokens(permission.tokens_, requested);
}


const Permission* firstGrant(
    const Permissions& permissions,
    const RIDTokens& requested,
    Action action)
{
  for (const process::Owned<Permission>& permission : permissions) {
    if (grants(*permission, requested, action)) {
      return permission.get();
    }
  }

  return nullptr;
}


Permission::Permission(const iam::Group& group)
  : rid_(group.rid()),
    actions_(flatActions(group.actions())),
    tokens_(tokenizeRID(rid_)) {}


Permission::Permission(const iam::Direct& direct)
  : rid_(direct.rid()),
    actions_(flatActions(direct.actions())),
    tokens_(tokenizeRID(rid_)) {}


Action Permission::flatActions(
    const google::protobuf::RepeatedPtrField<iam::Action>& actions)
{
  uint32_t result = NONE;

  for (const iam::Action& action : actions) {
    if (action.name() == "full") {
      result = FULL;
      continue;
    }

    for (const auto& word : WORDS) {
      if (action.name() == word.word) {
        result |= word.bit;
        break;
      }
    }
  }

  return static_cast<Action>(result);
}


Try<Permissions> flatPermissions(const iam::Permissions& permissions)
{
  Permissions result;
  result.reserve(permissions.groups_size() + permissions.direct_size());

  append("group", permissions.groups(), &result);
  append("direct", permissions.direct(), &result);

  return result;
}


Try<Permissions> parsePermissions(const std::string& body)
{
  if (body.size() > MAX_PERMISSIONS_DOCUMENT_SIZE) {
    return Error(
        "Failed to parse HTTP response as JSON: the document of " +
        stringify(body.size()) + " bytes exceeds the limit of " +
        stringify(MAX_PERMISSIONS_DOCUMENT_SIZE) + " bytes");
  }

  Try<JSON::Object> json = sentrel::parseJson<JSON::Object>(body);
  if (json.isError()) {
    return Error("Failed to parse HTTP response as JSON: " + json.error());
  }

  Try<iam::Permissions> document =
    protobuf::parse<iam::Permissions>(json.get());
  if (document.isError()) {
    return Error(
        "Failed to parse JSON response as protobuf: " + document.error());
  }

  Try<Permissions> permissions = flatPermissions(document.get());
  if (permissions.isError()) {
    return Error("Failed to flatten permissions: " + permissions.error());
  }

  return permissions;
}

} // namespace ovra {
} // namespace mesos {
