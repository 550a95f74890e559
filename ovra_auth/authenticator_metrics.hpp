#ifndef __OVRA_AUTH_AUTHENTICATOR_METRICS_HPP__
#define __OVRA_AUTH_AUTHENTICATOR_METRICS_HPP__

// What the HTTP authenticator counts, under "ovra/http_authenticator/".
// Every request ends in exactly one of allowed, allowed_anonymous, the
// four denied_* and failed. The façade and its actor share one copy.

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/duration.hpp>

#include "common/metric_set.hpp"

namespace mesos {
namespace ovra {

struct HTTPAuthenticatorMetrics
{
  corvanta::MetricSet set{"ovra/http_authenticator"};

  process::metrics::Counter allowed = set.counter("allowed");
  process::metrics::Counter allowed_anonymous = set.counter("allowed_anonymous");
  process::metrics::Counter denied_no_token = set.counter("denied_no_token");
  process::metrics::Counter denied_bad_token = set.counter("denied_bad_token");
  process::metrics::Counter denied_expired = set.counter("denied_expired");
  process::metrics::Counter denied_bad_signature =
    set.counter("denied_bad_signature");
  process::metrics::Counter failed = set.counter("failed");

  process::metrics::Counter key_fetches = set.counter("key_fetches");
  process::metrics::Counter key_fetch_failures =
    set.counter("key_fetch_failures");
  process::metrics::Timer<Milliseconds> key_fetch = set.timer("key_fetch");

  // With the key cache on.
  process::metrics::Counter key_cache_hits = set.counter("key_cache_hits");
  process::metrics::Counter key_cache_refetches =
    set.counter("key_cache_refetches");
  process::metrics::Counter key_cache_fallbacks =
    set.counter("key_cache_fallbacks");
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHENTICATOR_METRICS_HPP__
