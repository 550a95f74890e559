#include "ovra_auth/key_cache_flags.hpp"

#include <stout/error.hpp>
#include <stout/none.hpp>

namespace mesos {
namespace ovra {

namespace {

Option<Error> positive(const std::string& name, const Duration& value)
{
  if (value <= Duration::zero()) {
    return Error("'" + name + "' must be positive");
  }
  return None();
}

} // namespace {


KeyCacheFlags::KeyCacheFlags()
{
  add(&KeyCacheFlags::jwks_cache_lifetime,
      "jwks_cache_lifetime",
      "How long a key set fetched from the IAM service is kept and used to\n"
      "check tokens. Not set (the default): the key set is fetched for\n"
      "every request and never kept. Set, a token that the kept key does\n"
      "not verify may cause a refetch (see 'jwks_refetch_interval'), and a\n"
      "failed refetch leaves the last good key serving for a while (see\n"
      "'jwks_fallback_lifetime').",
      [](const Option<Duration>& value) -> Option<Error> {
        return value.isSome()
          ? positive("jwks_cache_lifetime", value.get())
          : None();
      });

  add(&KeyCacheFlags::jwks_refetch_interval,
      "jwks_refetch_interval",
      "With 'jwks_cache_lifetime' set: the shortest time between two\n"
      "fetches of the key set. Tokens that the kept key does not verify\n"
      "(a rotated key, or forged tokens) cause at most one fetch per\n"
      "interval, shared by every request waiting on it; in between they\n"
      "are refused without asking the IAM service. A fetch that failed\n"
      "is retried sooner: after 1 second, then after twice as long at\n"
      "each further failure, up to this interval.",
      Seconds(30),
      [](const Duration& value) -> Option<Error> {
        return positive("jwks_refetch_interval", value);
      });

  add(&KeyCacheFlags::jwks_fallback_lifetime,
      "jwks_fallback_lifetime",
      "With 'jwks_cache_lifetime' set: how long past its lifetime the last\n"
      "good key keeps checking tokens while the key set cannot be fetched\n"
      "(the IAM service is down or serves a broken key set). After that,\n"
      "requests fail as they do without the cache until a fetch succeeds.",
      Minutes(5),
      [](const Duration& value) -> Option<Error> {
        return value < Duration::zero()
          ? Option<Error>(Error("'jwks_fallback_lifetime' must not be negative"))
          : None();
      });
}

} // namespace ovra {
} // namespace mesos {
