#ifndef __PROCESS_METRICS_METRIC_HPP__
#define __PROCESS_METRICS_METRIC_HPP__

#include <memory>
#include <mutex>
#include <string>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/statistics.hpp>
#include <process/timeseries.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>

namespace process {
namespace metrics {

// The base of Counter, Gauge and Timer. Copies share one metric: the
// metrics process holds a copy of each added metric and reads it when a
// snapshot is asked for. With a `window`, the metric keeps its values of
// that long, from which the snapshot adds statistics.
class Metric
{
public:
  virtual ~Metric() {}

  virtual Future<double> value() const = 0;

  const std::string& name() const { return data->name; }

  Option<Statistics<double>> statistics() const
  {
    if (data->history.isNone()) {
      return None();
    }

    std::lock_guard<std::mutex> lock(data->lock);
    return Statistics<double>::from(*data->history.get());
  }

protected:
  Metric(const std::string& name, const Option<Duration>& window)
    : data(new Data(name, window)) {}

  // Adds `value` to the history, if the metric keeps one.
  void push(double value)
  {
    if (data->history.isSome()) {
      const Time now = Clock::now();
      std::lock_guard<std::mutex> lock(data->lock);
      data->history.get()->set(value, now);
    }
  }

private:
  struct Data
  {
    Data(const std::string& _name, const Option<Duration>& window)
      : name(_name)
    {
      if (window.isSome()) {
        history = Owned<TimeSeries<double>>(
            new TimeSeries<double>(window.get()));
      }
    }

    const std::string name;
    std::mutex lock;
    Option<Owned<TimeSeries<double>>> history;
  };

  std::shared_ptr<Data> data;
};

} // namespace metrics {
} // namespace process {

#endif // __PROCESS_METRICS_METRIC_HPP__
