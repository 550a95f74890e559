#ifndef __PROCESS_METRICS_GAUGE_HPP__
#define __PROCESS_METRICS_GAUGE_HPP__

#include <memory>
#include <string>

#include <process/defer.hpp>
#include <process/deferred.hpp>

#include <process/metrics/metric.hpp>

namespace process {
namespace metrics {

// A value computed when a snapshot asks for it, usually by an actor
// through defer().
class Gauge : public Metric
{
public:
  Gauge(const std::string& name, const Deferred<Future<double>()>& f)
    : Metric(name, None()), data(new Data(f)) {}

  ~Gauge() override {}

  Future<double> value() const override { return data->f(); }

private:
  struct Data
  {
    explicit Data(const Deferred<Future<double>()>& _f) : f(_f) {}

    const Deferred<Future<double>()> f;
  };

  std::shared_ptr<Data> data;
};

} // namespace metrics {
} // namespace process {

#endif // __PROCESS_METRICS_GAUGE_HPP__
