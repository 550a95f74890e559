#ifndef __OVRA_AUTH_PERMISSIONS_HPP__
#define __OVRA_AUTH_PERMISSIONS_HPP__

// A principal's IAM permissions in the form the authorizer matches on: the
// IAM service's permissions document (ovra_auth/acl.proto) flattened into
// (resource id, action bits) records. Pure data conversion: no I/O, no
// state. A flattened list is never modified once built, so any number of
// threads may read it.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include <google/protobuf/repeated_field.h>

#include <process/owned.hpp>

#include <stout/try.hpp>

#include "ovra_auth/acl.pb.h"
#include "ovra_auth/resource_id.hpp"

namespace mesos {
namespace ovra {

// The IAM action words as bits, so that a set of actions is one value.
// Unions of bits (3 for create and read) are stored in the same type.
enum Action : uint32_t
{
  NONE = 0,
  CREATE = 1,
  READ = 2,
  UPDATE = 4,
  DELETE = 8,
  FULL = 15,
};

// True when every requested bit is among the granted ones: "full" covers
// every action, "read" does not cover "update".
bool matchAction(Action requested, Action granted);

// The words of the set bits in the order create, read, update, delete,
// joined by " | "; "UNKNOWN" for a value outside 1 to 15.
std::string stringifyAction(Action action);


// One entry of a permissions document: a resource id and the union of the
// recognised action words granted on it.
struct Permission
{
  explicit Permission(const iam::Group& group);
  explicit Permission(const iam::Direct& direct);

  // The union of the bits of "create", "read", "update", "delete" (exact,
  // case-sensitive words) and "full" (all four); other words are skipped.
  static Action flatActions(
      const google::protobuf::RepeatedPtrField<iam::Action>& actions);

  // An entry that grants no recognised action is dropped when flattening.
  bool valid() const { return actions_ != NONE; }

  std::string rid_;
  Action actions_;

  // `rid_` tokenized once here rather than on every match.
  RIDTokens tokens_;
};


typedef std::vector<process::Owned<Permission>> Permissions;


// Whether `permission` grants `action` on the id tokenized as `requested`:
// the superuser id grants everything, any other id its actions on the ids
// it covers.
bool grants(
    const Permission& permission,
    const RIDTokens& requested,
    Action action);

// The first permission in list order that grants `action` on `requested`;
// null when none does. The reference for the decisions and the granting
// permission: PermissionIndex answers exactly as this scan does.
const Permission* firstGrant(
    const Permissions& permissions,
    const RIDTokens& requested,
    Action action);


// The group entries in document order, then the direct entries; an entry
// without a recognised action is dropped with a WARNING naming it. Nothing
// is merged, sorted or de-duplicated.
Try<Permissions> flatPermissions(const iam::Permissions& permissions);


// Bodies larger than this are refused unread: a document of that size is
// no principal's permissions, and parsing it would stall the authorizer.
constexpr size_t MAX_PERMISSIONS_DOCUMENT_SIZE = 64 * 1024 * 1024;

// A response body of the IAM service made into the flattened list. Fails
// with "Failed to parse HTTP response as JSON: " (not a JSON object, or too
// large), "Failed to parse JSON response as protobuf: " (a missing required
// field or a value of the wrong kind anywhere) or "Failed to flatten
// permissions: ", each followed by the underlying error.
Try<Permissions> parsePermissions(const std::string& body);

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_PERMISSIONS_HPP__
