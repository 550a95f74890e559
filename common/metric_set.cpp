#include "common/metric_set.hpp"

#include <memory>
#include <vector>

#include <glog/logging.h>

#include <process/future.hpp>
#include <process/owned.hpp>

#include <process/metrics/metrics.hpp>

#include <stout/nothing.hpp>

using process::Future;
using process::metrics::Counter;
using process::metrics::Metric;
using process::metrics::Timer;

namespace corvanta {

// The metrics added, each with the outcome of its add.
class MetricSet::Registration
{
public:
  Registration() = default;
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  // A metric whose add failed is another instance's: it is left alone.
  // One whose add is still pending is removed once the add has succeeded:
  // removing it now would take the other instance's metric of that name
  // should the add fail.
  ~Registration()
  {
    for (Entry& entry : entries_) {
      if (entry.added.isReady()) {
        process::metrics::remove(*entry.metric);
      } else if (entry.added.isPending()) {
        const std::shared_ptr<Metric> metric(std::move(entry.metric));
        entry.added.onReady(
            [metric](const Nothing&) { process::metrics::remove(*metric); });
      }
    }
  }

  template <typename M>
  void add(const M& metric)
  {
    const std::string name = metric.name();
    Future<Nothing> added = process::metrics::add(metric);
    added.onFailed([name](const std::string& failure) {
      LOG(WARNING) << "Failed to add metric '" << name << "': " << failure;
    });
    entries_.push_back(Entry{added, std::make_unique<M>(metric)});
  }

private:
  struct Entry
  {
    Future<Nothing> added;
    std::unique_ptr<Metric> metric;
  };

  std::vector<Entry> entries_;
};


MetricSet::MetricSet(const std::string& area)
  : area_(area), registration_(std::make_shared<Registration>()) {}


Counter MetricSet::counter(const std::string& name)
{
  const Counter counter(area_ + "/" + name);
  registration_->add(counter);
  return counter;
}


Timer<Milliseconds> MetricSet::timer(const std::string& name)
{
  const Timer<Milliseconds> timer(area_ + "/" + name, Hours(1));
  registration_->add(timer);
  return timer;
}

} // namespace corvanta {
