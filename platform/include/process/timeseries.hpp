#ifndef __PROCESS_TIMESERIES_HPP__
#define __PROCESS_TIMESERIES_HPP__

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

#include <process/clock.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

namespace process {

// Two weeks and 1000 values, as in libprocess.
extern const Duration TIME_SERIES_WINDOW;
extern const size_t TIME_SERIES_CAPACITY;


// Values by time, kept for `window` and thinned to `capacity` as
// libprocess thins them: the older half loses every other value. Values
// are keyed by their time, so a second value at the same time replaces
// the first (on a paused clock, every value until the clock moves).
template <typename T>
struct TimeSeries
{
  TimeSeries(
      const Duration& _window = TIME_SERIES_WINDOW,
      size_t _capacity = TIME_SERIES_CAPACITY)
    : window(_window), capacity(std::max(static_cast<size_t>(3), _capacity)) {}

  struct Value
  {
    Value(const Time& _time, const T& _data) : time(_time), data(_data) {}

    Time time;
    T data;
  };

  void set(const T& value, const Time& time = Clock::now())
  {
    // Inserting before the end invalidates the thinning position.
    if (!values.empty() && time < values.rbegin()->first) {
      index = None();
    }

    values[time] = value;
    truncate();
    sparsify();
  }

  // The values within the optional range, oldest first.
  std::vector<Value> get(
      const Option<Time>& start = None(),
      const Option<Time>& stop = None()) const
  {
    if (start.isSome() && stop.isSome() && start.get() > stop.get()) {
      return std::vector<Value>();
    }

    auto lower = values.lower_bound(start.isSome() ? start.get() : Time::epoch());
    auto upper = values.upper_bound(stop.isSome() ? stop.get() : Time::max());

    std::vector<Value> result;
    for (; lower != upper; ++lower) {
      result.push_back(Value(lower->first, lower->second));
    }
    return result;
  }

  Option<Value> latest() const
  {
    if (empty()) {
      return None();
    }
    return Value(values.rbegin()->first, values.rbegin()->second);
  }

  bool empty() const { return values.empty(); }

  // Drops the values older than the window, keeping at least one.
  void truncate()
  {
    const Time expired = Clock::now() - window;
    auto upper = values.upper_bound(expired);

    if (values.size() <= 1 || upper == values.end()) {
      return;
    }

    if (index.isSome() && upper->first < next->first) {
      const size_t size = values.size();
      values.erase(values.begin(), upper);
      index = index.get() - (size - values.size());
    } else {
      index = None();
      values.erase(values.begin(), upper);
    }
  }

private:
  // Removes every other value of the older half until within capacity,
  // starting again from the front once past the middle.
  void sparsify()
  {
    while (values.size() > capacity) {
      if (index.isNone() || index.get() > values.size() / 2) {
        next = values.begin();
        ++next;
        index = 1;
      }

      next = values.erase(next);
      ++next;
      index = index.get() + 1;
    }
  }

  Duration window;
  size_t capacity;
  std::map<Time, T> values;

  // The next value to thin; valid only while `index` is set.
  typename std::map<Time, T>::iterator next;
  Option<size_t> index;
};

} // namespace process {

#endif // __PROCESS_TIMESERIES_HPP__
