#ifndef __OVRA_AUTH_PERMISSION_INDEX_HPP__
#define __OVRA_AUTH_PERMISSION_INDEX_HPP__

// A flattened permissions list together with an index over its resource-id
// tokens, so that finding the permission that grants a request costs the
// same for ten permissions as for ten thousand. Built once, when the list
// is made, and never modified: any number of threads may read it.

#include <stddef.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ovra_auth/permissions.hpp"
#include "ovra_auth/resource_id.hpp"

namespace mesos {
namespace ovra {

class PermissionIndex
{
public:
  explicit PermissionIndex(Permissions permissions);

  const Permissions& list() const { return permissions_; }

  // The first permission in list order that grants `action` on the id
  // tokenized as `requested`, exactly as firstGrant(list(), ...) finds it;
  // null when none does.
  const Permission* grantedBy(
      const RIDTokens& requested,
      Action action) const;

private:
  // A permission ending at a node: its position in the list and its
  // actions. A node keeps only those that grant something no earlier
  // permission of the node grants, so at most one per distinct action set.
  struct Grant
  {
    size_t position;
    Action actions;
  };

  // A node of the token tree. The name tokens of an id lead from the root
  // to a name node, whose `paths` is the root of the path tokens of the
  // ids with exactly those name tokens; their path tokens lead on to the
  // node that holds their grants.
  struct Node
  {
    std::unordered_map<std::string, size_t> children;
    size_t paths;
    std::vector<Grant> grants;
  };

  size_t child(size_t node, const std::string& token);
  size_t paths(size_t node);
  void add(size_t position, const Permission& permission);

  // The position of the first grant of `action` at `node`, if lower than
  // `best`; `best` otherwise.
  size_t earliest(size_t node, Action action, size_t best) const;

  const Permissions permissions_;

  std::vector<Node> nodes_;

  // The position of the first superuser entry, which grants everything.
  size_t superuser_;
};


// A flattened list as the cache and every approver made from it share it.
typedef std::shared_ptr<const PermissionIndex> SharedPermissions;

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_PERMISSION_INDEX_HPP__
