#ifndef __PROCESS_METRICS_METRICS_HPP__
#define __PROCESS_METRICS_METRICS_HPP__

// libprocess's metrics process, "metrics": it holds the metrics added to
// it and serves "/metrics/snapshot", a JSON object of every metric's value
// by name, plus "<name>/count", "/min", "/max", "/p50", "/p90", "/p95",
// "/p99", "/p999" and "/p9999" for a metric with a window of at least two
// values. The optional query parameter "timeout" bounds the wait for
// values (a metric not ready by then is left out). Snapshots are served
// at most at the rate of LIBPROCESS_METRICS_SNAPSHOT_ENDPOINT_RATE_LIMIT,
// "<requests>/<duration>", 2 per second when unset, unlimited when empty;
// faster requests wait their turn.

#include <memory>
#include <string>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <process/metrics/metric.hpp>

#include <stout/duration.hpp>
#include <stout/hashmap.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>

namespace process {
namespace metrics {
namespace internal {

class MetricsProcess : public Process<MetricsProcess>
{
public:
  static MetricsProcess* create(const Option<std::string>& authenticationRealm);

  // Fails for a name already added.
  Future<Nothing> add(Owned<Metric> metric);

  // Fails for a name not added.
  Future<Nothing> remove(const std::string& name);

  Future<hashmap<std::string, double>> snapshot(
      const Option<Duration>& timeout);

protected:
  void initialize() override;

private:
  MetricsProcess(
      const Option<Duration>& interval,
      const Option<std::string>& authenticationRealm);

  MetricsProcess(const MetricsProcess&) = delete;
  MetricsProcess& operator=(const MetricsProcess&) = delete;

  Future<http::Response> _snapshot(
      const http::Request& request,
      const Option<std::string>& principal);

  // Resolves when the rate limit lets the next snapshot go.
  Future<Nothing> acquire();

  hashmap<std::string, Owned<Metric>> metrics;

  // The time between two snapshots, none for no limit.
  const Option<Duration> interval;
  Time nextPermit;

  const Option<std::string> authenticationRealm;
};


extern PID<MetricsProcess> metrics;

} // namespace internal {


template <typename T>
Future<Nothing> add(const T& metric)
{
  process::initialize();

  // The process owns a copy, which shares the metric with the caller's.
  return dispatch(
      internal::metrics,
      &internal::MetricsProcess::add,
      Owned<Metric>(new T(metric)));
}


inline Future<Nothing> remove(const Metric& metric)
{
  process::initialize();

  return dispatch(
      internal::metrics, &internal::MetricsProcess::remove, metric.name());
}


inline Future<hashmap<std::string, double>> snapshot(
    const Option<Duration>& timeout)
{
  process::initialize();

  return dispatch(
      internal::metrics, &internal::MetricsProcess::snapshot, timeout);
}

} // namespace metrics {
} // namespace process {

#endif // __PROCESS_METRICS_METRICS_HPP__
