#ifndef __SECRETS_COMMON_METRICS_HPP__
#define __SECRETS_COMMON_METRICS_HPP__

// What the secrets hook and the secrets isolator count, each under its own
// area: "ovra/secrets_hook/" and "ovra/secrets_isolator/". A request is a
// call whose labels (the executor's or the task's) hold both the space
// label and the secrets label; a call of the hook without a task is none.
// Every request ends in its secrets or in exactly one of the four
// failures. The façade and its actor share one copy.

#include <string>

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/duration.hpp>

#include "common/metric_set.hpp"

namespace mesos {
namespace secrets {

constexpr char HOOK_METRICS[] = "ovra/secrets_hook";
constexpr char ISOLATOR_METRICS[] = "ovra/secrets_isolator";

struct SecretsMetrics
{
  explicit SecretsMetrics(const std::string& area) : set(area) {}

  corvanta::MetricSet set;

  process::metrics::Counter requests = set.counter("requests");

  // The variables given, one per secret of a request that got them all.
  process::metrics::Counter secrets_fetched = set.counter("secrets_fetched");

  // The labels' request is not valid: refused before anything is sent.
  process::metrics::Counter failures_bad_request =
    set.counter("failures_bad_request");

  // The service-account login failed, or no service account is set.
  process::metrics::Counter failures_login = set.counter("failures_login");

  // The store refused a secret, could not be reached, or answered with
  // something that is no secret or too large for the environment.
  process::metrics::Counter failures_store = set.counter("failures_store");

  // The login and the store took longer than `network_timeout` together.
  process::metrics::Counter failures_timeout = set.counter("failures_timeout");

  // Each request's login and store stage, from the login's start to the
  // secrets or the failure; a request refused before it is not timed.
  process::metrics::Timer<Milliseconds> fetch = set.timer("fetch");
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_METRICS_HPP__
