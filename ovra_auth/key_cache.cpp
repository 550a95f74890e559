#include "ovra_auth/key_cache.hpp"

#include <algorithm>

#include <stout/none.hpp>

using process::Time;

namespace mesos {
namespace ovra {

namespace {

// The first backoff after a failed fetch.
constexpr Duration FIRST_BACKOFF = Seconds(1);

} // namespace {


KeyCache::KeyCache(
    const Duration& lifetime,
    const Duration& refetchInterval,
    const Duration& fallbackLifetime)
  : lifetime_(lifetime),
    refetchInterval_(refetchInterval),
    fallbackLifetime_(fallbackLifetime) {}


Option<std::shared_ptr<RSA>> KeyCache::fresh(const Time& now) const
{
  if (key_.isSome() && now < fetchedAt_.get() + lifetime_) {
    return key_;
  }
  return None();
}


Option<std::shared_ptr<RSA>> KeyCache::lastGood(const Time& now) const
{
  const Option<Time> until = servesUntil();
  if (until.isSome() && now < until.get()) {
    return key_;
  }
  return None();
}


Option<Time> KeyCache::servesUntil() const
{
  if (fetchedAt_.isNone()) {
    return None();
  }
  return fetchedAt_.get() + lifetime_ + fallbackLifetime_;
}


bool KeyCache::mayFetch(const Time& now) const
{
  if (retryAt_.isSome()) {
    return now >= retryAt_.get();
  }
  return lastFetchStart_.isNone() ||
    now >= lastFetchStart_.get() + refetchInterval_;
}


void KeyCache::fetchStarted(const Time& now)
{
  lastFetchStart_ = now;
}


void KeyCache::fetched(const std::shared_ptr<RSA>& key, const Time& now)
{
  key_ = key;
  fetchedAt_ = now;
  lastFailure_ = None();
  retryAt_ = None();
  backoff_ = None();
}


void KeyCache::fetchFailed(const std::string& failure, const Time& now)
{
  lastFailure_ = failure;
  backoff_ = backoff_.isNone()
    ? std::min(FIRST_BACKOFF, refetchInterval_)
    : std::min(backoff_.get() * 2, refetchInterval_);
  retryAt_ = now + backoff_.get();
}

} // namespace ovra {
} // namespace mesos {
