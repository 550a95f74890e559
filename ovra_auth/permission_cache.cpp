#include "ovra_auth/permission_cache.hpp"

#include <glog/logging.h>

using process::Future;
using process::Promise;
using process::Time;

namespace mesos {
namespace ovra {

PermissionCache::PermissionCache(size_t size, const Duration& timeout)
  : size_(size), timeout_(timeout), cache_(size) {}


Option<SharedPermissions> PermissionCache::fresh(
    const std::string& principal,
    const Time& now)
{
  const Option<Entry> entry = cache_.get(principal);
  if (entry.isNone()) {
    return None();
  }

  if (now - entry->creationTime > timeout_) {
    VLOG(1) << "Cached ACL for principal '" << principal << "' expired";
    return None();
  }

  VLOG(1) << "Using cached ACL for principal '" << principal << "'";
  return entry->permissions;
}


Option<Future<SharedPermissions>> PermissionCache::inFlight(
    const std::string& principal) const
{
  const Option<Fetch> fetch = fetching_.get(principal);
  if (fetch.isNone()) {
    return None();
  }
  return fetch.get()->future();
}


PermissionCache::Fetch PermissionCache::start(const std::string& principal)
{
  Fetch fetch(new Promise<SharedPermissions>());
  fetching_.put(principal, fetch);
  return fetch;
}


bool PermissionCache::pending(
    const std::string& principal,
    const Fetch& fetch) const
{
  const Option<Fetch> current = fetching_.get(principal);
  return current.isSome() && current.get() == fetch;
}


void PermissionCache::end(const std::string& principal)
{
  fetching_.erase(principal);
}


void PermissionCache::end(
    const std::string& principal,
    const SharedPermissions& permissions,
    const Time& now)
{
  fetching_.erase(principal);
  if (size_ > 0) {
    VLOG(1) << "Caching ACL for principal '" << principal << "'";
    cache_.put(principal, Entry{permissions, now});
  }
}


void PermissionCache::failAll(const std::string& failure)
{
  for (auto& [principal, fetch] : fetching_) {
    fetch->fail(failure);
  }
  fetching_.clear();
}

} // namespace ovra {
} // namespace mesos {
