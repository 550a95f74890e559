#ifndef __OVRA_AUTH_PERMISSION_CACHE_HPP__
#define __OVRA_AUTH_PERMISSION_CACHE_HPP__

// The authorizer's permissions per principal: the LRU cache of flattened
// permissions, each served while at most `cache_timeout` old, and the
// fetch in flight per principal, which concurrent requests share. Failures
// are never kept. Plain state of the authorizer's actor, used from there
// only; the actor fetches.

#include <cstddef>
#include <string>

#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/time.hpp>

#include <stout/cache.hpp>
#include <stout/duration.hpp>
#include <stout/hashmap.hpp>
#include <stout/option.hpp>

#include "ovra_auth/permission_index.hpp"

namespace mesos {
namespace ovra {

class PermissionCache
{
public:
  typedef process::Owned<process::Promise<SharedPermissions>> Fetch;

  // Nothing is kept with a `size` of 0.
  PermissionCache(size_t size, const Duration& timeout);

  PermissionCache(const PermissionCache&) = delete;
  PermissionCache& operator=(const PermissionCache&) = delete;

  // The principal's permissions while fresh; a hit makes them the most
  // recently used.
  Option<SharedPermissions> fresh(
      const std::string& principal,
      const process::Time& now);

  // The principal's fetch in flight.
  Option<process::Future<SharedPermissions>> inFlight(
      const std::string& principal) const;

  // A new fetch in flight for the principal, which later callers share.
  Fetch start(const std::string& principal);

  // Whether `fetch` is still the principal's fetch in flight: not ended
  // yet, nor replaced by a later one.
  bool pending(const std::string& principal, const Fetch& fetch) const;

  // Ends the principal's fetch in flight, keeping its permissions when it
  // brought some.
  void end(const std::string& principal);
  void end(
      const std::string& principal,
      const SharedPermissions& permissions,
      const process::Time& now);

  // Fails and ends every fetch in flight.
  void failAll(const std::string& failure);

private:
  struct Entry
  {
    SharedPermissions permissions;

    // When the response was processed, on libprocess's clock.
    process::Time creationTime;
  };

  const size_t size_;
  const Duration timeout_;
  Cache<std::string, Entry> cache_;
  hashmap<std::string, Fetch> fetching_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_PERMISSION_CACHE_HPP__
