#ifndef __COMMON_METRIC_SET_HPP__
#define __COMMON_METRIC_SET_HPP__

// The metrics of one module in libprocess's metrics process, served at
// "/metrics/snapshot": each added when the set makes it, all removed when
// the set and its last copy are gone. A module keeps its set and its
// metrics in one copyable struct, so that its façade and its process
// both count into the same metrics.
//
// The names are fixed per module, as Mesos's own metrics are: while two
// instances of a module live in one process, only the first one's counts
// are served (the second's adds fail, logged at WARNING).

#include <memory>
#include <string>

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/duration.hpp>

namespace corvanta {

class MetricSet
{
public:
  // Every metric is named "<area>/<name>".
  explicit MetricSet(const std::string& area);

  process::metrics::Counter counter(const std::string& name);

  // A timer in milliseconds ("<area>/<name>_ms") whose snapshot has the
  // count, extremes and percentiles of the last hour's times.
  process::metrics::Timer<Milliseconds> timer(const std::string& name);

private:
  class Registration;

  std::string area_;
  std::shared_ptr<Registration> registration_;
};

} // namespace corvanta {

#endif // __COMMON_METRIC_SET_HPP__
