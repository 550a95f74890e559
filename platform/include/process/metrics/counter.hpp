#ifndef __PROCESS_METRICS_COUNTER_HPP__
#define __PROCESS_METRICS_COUNTER_HPP__

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include <process/metrics/metric.hpp>

namespace process {
namespace metrics {

// A count that any thread may raise; its value in the snapshot is the
// count.
class Counter : public Metric
{
public:
  Counter(const std::string& name, const Option<Duration>& window = None())
    : Metric(name, window), data(new Data())
  {
    push(static_cast<double>(data->value.load()));
  }

  ~Counter() override {}

  Future<double> value() const override
  {
    return static_cast<double>(data->value.load());
  }

  void reset()
  {
    data->value.store(0);
    push(0);
  }

  Counter& operator++() { return *this += 1; }

  Counter operator++(int)
  {
    Counter c(*this);
    ++(*this);
    return c;
  }

  Counter& operator+=(int64_t v)
  {
    const int64_t prev = data->value.fetch_add(v);
    push(static_cast<double>(prev + v));
    return *this;
  }

private:
  struct Data
  {
    Data() : value(0) {}

    std::atomic<int64_t> value;
  };

  std::shared_ptr<Data> data;
};

} // namespace metrics {
} // namespace process {

#endif // __PROCESS_METRICS_COUNTER_HPP__
