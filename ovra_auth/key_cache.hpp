#ifndef __OVRA_AUTH_KEY_CACHE_HPP__
#define __OVRA_AUTH_KEY_CACHE_HPP__

// What the HTTP authenticator remembers of the IAM service's key set when
// its cache is on, and the decisions made from it: whether the kept key is
// fresh, whether a fetch may start now, and whether the last good key may
// still serve while fetches fail. Plain state with the time passed in; it
// belongs to the authenticator's actor and is used from there only.
//
// The refetch interval limits how often tokens the kept key does not verify
// can make the authenticator fetch. A fetch that failed (the service down
// or answering badly) is no such token: the next fetch may start after a
// backoff of 1 second, doubled after each further failure up to the
// interval, so that an outage at the first fetch does not refuse valid
// users for a whole interval once the service is back.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>

namespace mesos {
namespace ovra {

class KeyCache
{
public:
  KeyCache(
      const Duration& lifetime,
      const Duration& refetchInterval,
      const Duration& fallbackLifetime);

  // The kept key while within its lifetime.
  Option<std::shared_ptr<RSA>> fresh(const process::Time& now) const;

  // The last good key while within its lifetime and the fallback after it.
  Option<std::shared_ptr<RSA>> lastGood(const process::Time& now) const;

  // When lastGood() stops serving; none before the first fetch.
  Option<process::Time> servesUntil() const;

  // True unless a fetch started less than the refetch interval ago, or,
  // after a failed fetch, its backoff has not passed yet.
  bool mayFetch(const process::Time& now) const;

  bool everFetched() const { return key_.isSome(); }

  void fetchStarted(const process::Time& now);
  void fetched(const std::shared_ptr<RSA>& key, const process::Time& now);
  void fetchFailed(const std::string& failure, const process::Time& now);

  // The failure of the latest fetch, until one succeeds.
  const Option<std::string>& lastFailure() const { return lastFailure_; }

private:
  const Duration lifetime_;
  const Duration refetchInterval_;
  const Duration fallbackLifetime_;

  Option<std::shared_ptr<RSA>> key_;
  Option<process::Time> fetchedAt_;
  Option<process::Time> lastFetchStart_;
  Option<std::string> lastFailure_;

  // After a failed fetch: when the next may start, and the backoff that
  // gave that time. None once a fetch succeeds.
  Option<process::Time> retryAt_;
  Option<Duration> backoff_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_KEY_CACHE_HPP__
