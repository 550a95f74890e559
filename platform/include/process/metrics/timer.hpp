#ifndef __PROCESS_METRICS_TIMER_HPP__
#define __PROCESS_METRICS_TIMER_HPP__

#include <memory>
#include <mutex>
#include <string>

#include <process/clock.hpp>
#include <process/future.hpp>

#include <process/metrics/metric.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>

namespace process {
namespace metrics {

// The time of an event in units of `T` (Milliseconds: "<name>_ms"). The
// value is the last time measured; with a window the snapshot adds the
// count, extremes and percentiles of the window's times.
template <class T>
class Timer : public Metric
{
public:
  Timer(const std::string& name, const Option<Duration>& window = None())
    : Metric(name + "_" + T::units(), window), data(new Data()) {}

  Future<double> value() const override
  {
    std::lock_guard<std::mutex> lock(data->lock);
    if (data->lastValue.isSome()) {
      return data->lastValue.get();
    }
    return Failure("No value");
  }

  void start()
  {
    std::lock_guard<std::mutex> lock(data->lock);
    data->start = Clock::now();
  }

  T stop()
  {
    const Time stop = Clock::now();

    T t(0);
    double value = 0.0;
    {
      std::lock_guard<std::mutex> lock(data->lock);
      t = T(stop - data->start);
      data->lastValue = t.value();
      value = data->lastValue.get();
    }

    push(value);
    return t;
  }

  // Times `future` from now until it completes in any way. The copy of
  // the timer in the callback keeps the metric alive meanwhile.
  template <typename U>
  Future<U> time(const Future<U>& future)
  {
    const Time start = Clock::now();
    Timer that = *this;
    future.onAny([start, that](const Future<U>&) { _time(start, that); });
    return future;
  }

private:
  struct Data
  {
    std::mutex lock;
    Time start;
    Option<double> lastValue;
  };

  static void _time(const Time& start, Timer that)
  {
    const Time stop = Clock::now();

    double value;
    {
      std::lock_guard<std::mutex> lock(that.data->lock);
      that.data->lastValue = T(stop - start).value();
      value = that.data->lastValue.get();
    }

    that.push(value);
  }

  std::shared_ptr<Data> data;
};

} // namespace metrics {
} // namespace process {

#endif // __PROCESS_METRICS_TIMER_HPP__
