#include "ovra_auth/permission_index.hpp"

#include <stdint.h>

#include <utility>

namespace mesos {
namespace ovra {

namespace {

// No node, or no position.
constexpr size_t NOWHERE = SIZE_MAX;

constexpr size_t ROOT = 0;

bool covers(Action granted, Action requested)
{
  return matchAction(requested, granted);
}

} // namespace {


PermissionIndex::PermissionIndex(Permissions permissions)
  : permissions_(std::move(permissions)),
    nodes_(1, Node{{}, NOWHERE, {}}),
    superuser_(NOWHERE)
{
  for (size_t position = 0; position < permissions_.size(); ++position) {
    add(position, *permissions_[position]);
  }
}


size_t PermissionIndex::child(size_t node, const std::string& token)
{
  auto found = nodes_[node].children.find(token);
  if (found != nodes_[node].children.end()) {
    return found->second;
  }

  const size_t created = nodes_.size();
  nodes_.push_back(Node{{}, NOWHERE, {}});
  nodes_[node].children.emplace(token, created);
  return created;
}


size_t PermissionIndex::paths(size_t node)
{
  if (nodes_[node].paths == NOWHERE) {
    const size_t created = nodes_.size();
    nodes_.push_back(Node{{}, NOWHERE, {}});
    nodes_[node].paths = created;
  }

  return nodes_[node].paths;
}


void PermissionIndex::add(size_t position, const Permission& permission)
{
  // A superuser entry grants everything whatever its tokens; only the
  // first can ever be the one that grants.
  if (superuser(permission.rid_)) {
    if (superuser_ == NOWHERE) {
      superuser_ = position;
    }
    return;
  }

  size_t node = ROOT;
  for (const std::string& token : permission.tokens_.first) {
    node = child(node, token);
  }

  node = paths(node);
  for (const std::string& token : permission.tokens_.second) {
    node = child(node, token);
  }

  // A permission whose actions an earlier one of the same tokens already
  // covers can never be the first to grant: leaving it out bounds the
  // grants of a node by the number of distinct action sets.
  std::vector<Grant>& grants = nodes_[node].grants;
  for (const Grant& grant : grants) {
    if (covers(grant.actions, permission.actions_)) {
      return;
    }
  }

  grants.push_back(Grant{position, permission.actions_});
}


size_t PermissionIndex::earliest(size_t node, Action action, size_t best)
  const
{
  for (const Grant& grant : nodes_[node].grants) {
    if (grant.position >= best) {
      break;
    }
    if (covers(grant.actions, action)) {
      return grant.position;
    }
  }

  return best;
}


const Permission* PermissionIndex::grantedBy(
    const RIDTokens& requested,
    Action action) const
{
  // A permission covers the request when its name tokens are a prefix of
  // the request's and its path tokens a prefix of the request's path
  // tokens: the candidates lie on the request's own way through the tree,
  // at every name node along the name tokens and, below each, at every
  // path node along the path tokens.
  size_t best = superuser_;

  size_t node = ROOT;
  for (size_t names = 0; node != NOWHERE; ++names) {
    for (size_t path = nodes_[node].paths, depth = 0; path != NOWHERE;
         ++depth) {
      best = earliest(path, action, best);

      if (depth == requested.second.size()) {
        break;
      }
      const auto& children = nodes_[path].children;
      auto next = children.find(requested.second[depth]);
      path = next == children.end() ? NOWHERE : next->second;
    }

    if (names == requested.first.size()) {
      break;
    }
    const auto& children = nodes_[node].children;
    auto next = children.find(requested.first[names]);
    node = next == children.end() ? NOWHERE : next->second;
  }

  return best == NOWHERE ? nullptr : permissions_[best].get();
}

} // namespace ovra {
} // namespace mesos {
