#ifndef __OVRA_AUTH_KEY_CACHE_FLAGS_HPP__
#define __OVRA_AUTH_KEY_CACHE_FLAGS_HPP__

// The HTTP authenticator's opt-in cache of the IAM service's key set. Off
// unless `jwks_cache_lifetime` is given: then every request fetches the key
// set, as without these flags.

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/option.hpp>

namespace mesos {
namespace ovra {

class KeyCacheFlags : public virtual flags::FlagsBase
{
public:
  KeyCacheFlags();

  Option<Duration> jwks_cache_lifetime;
  Duration jwks_refetch_interval;
  Duration jwks_fallback_lifetime;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_KEY_CACHE_FLAGS_HPP__
