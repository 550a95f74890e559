#ifndef __OVRA_AUTH_AUTHORIZER_METRICS_HPP__
#define __OVRA_AUTH_AUTHORIZER_METRICS_HPP__

// What the authorizer counts, under "ovra/authorizer/". A decision is one
// object approved or refused by an approver (listings filtered object by
// object count each object), or a request for an approver that failed.
// The actor and its approvers share one copy.

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/duration.hpp>

#include "common/metric_set.hpp"

namespace mesos {
namespace ovra {

struct AuthorizerMetrics
{
  corvanta::MetricSet set{"ovra/authorizer"};

  process::metrics::Counter allowed = set.counter("allowed");
  process::metrics::Counter denied = set.counter("denied");
  process::metrics::Counter failed = set.counter("failed");

  process::metrics::Counter permission_fetches =
    set.counter("permission_fetches");
  process::metrics::Counter permission_fetch_failures =
    set.counter("permission_fetch_failures");
  process::metrics::Timer<Milliseconds> permission_fetch =
    set.timer("permission_fetch");
  process::metrics::Counter permission_cache_hits =
    set.counter("permission_cache_hits");
  process::metrics::Counter coalesced_requests =
    set.counter("coalesced_requests");

  // Agents only: the service account's successful logins (the first and
  // each refresh), its failed ones, and the refreshes among the logins.
  process::metrics::Counter logins = set.counter("logins");
  process::metrics::Counter login_failures = set.counter("login_failures");
  process::metrics::Counter token_refreshes = set.counter("token_refreshes");
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZER_METRICS_HPP__
