#ifndef __PROCESS_STATISTICS_HPP__
#define __PROCESS_STATISTICS_HPP__

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include <process/timeseries.hpp>

#include <stout/option.hpp>

namespace process {

// The count, extremes and percentiles of a time series' values.
template <typename T>
struct Statistics
{
  // None for fewer than two values, as in libprocess.
  static Option<Statistics<T>> from(const TimeSeries<T>& timeseries)
  {
    const std::vector<typename TimeSeries<T>::Value> series = timeseries.get();
    if (series.size() < 2) {
      return None();
    }

    std::vector<T> values;
    values.reserve(series.size());
    for (const typename TimeSeries<T>::Value& value : series) {
      values.push_back(value.data);
    }
    std::sort(values.begin(), values.end());

    Statistics statistics;
    statistics.count = values.size();
    statistics.min = values.front();
    statistics.max = values.back();
    statistics.p50 = percentile(values, 0.5);
    statistics.p90 = percentile(values, 0.90);
    statistics.p95 = percentile(values, 0.95);
    statistics.p99 = percentile(values, 0.99);
    statistics.p999 = percentile(values, 0.999);
    statistics.p9999 = percentile(values, 0.9999);
    return statistics;
  }

  size_t count;

  T min;
  T max;

  T p50;
  T p90;
  T p95;
  T p99;
  T p999;
  T p9999;

private:
  // Linear interpolation between the two nearest of at least two sorted
  // values.
  static T percentile(const std::vector<T>& values, double percentile)
  {
    if (percentile <= 0.0) {
      return values.front();
    }
    if (percentile >= 1.0) {
      return values.back();
    }

    const double position = percentile * (values.size() - 1);
    const size_t index = static_cast<size_t>(std::floor(position));
    const double delta = position - index;
    return values[index] + delta * (values[index + 1] - values[index]);
  }
};

} // namespace process {

#endif // __PROCESS_STATISTICS_HPP__
