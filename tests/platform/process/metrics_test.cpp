// The metrics process as libprocess 1.2.0 runs it: one metric per name,
// "/metrics/snapshot" leaving out what is not ready within its "timeout",
// and refusing a timeout it cannot read.

#include <string>

#include <gtest/gtest.h>

#include <process/defer.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <process/metrics/counter.hpp>
#include <process/metrics/gauge.hpp>
#include <process/metrics/metrics.hpp>

#include "support/futures.hpp"
#include "support/metrics_snapshot.hpp"

using namespace ovra_test;

using process::Future;
using process::Promise;

using process::metrics::Counter;
using process::metrics::Gauge;


TEST(MetricsTest, OneMetricPerName)
{
  Counter counter("metrics_test/counter");
  ASSERT_TRUE(ready(process::metrics::add(counter)));
  EXPECT_TRUE(failed(
      process::metrics::add(Counter("metrics_test/counter")),
      "Metric 'metrics_test/counter' was already added"));

  ASSERT_TRUE(ready(process::metrics::remove(counter)));
  EXPECT_TRUE(failed(
      process::metrics::remove(counter),
      "Metric 'metrics_test/counter' not found"));
}


TEST(MetricsTest, ASnapshotLeavesOutWhatIsNotReadyInTime)
{
  Counter counter("metrics_test/counter");
  counter += 3;
  Promise<double> never;
  Gauge gauge("metrics_test/gauge", process::defer([future = never.future()]() {
                return future;
              }));
  ASSERT_TRUE(ready(process::metrics::add(counter)));
  ASSERT_TRUE(ready(process::metrics::add(gauge)));

  EXPECT_EQ(
      metrics_snapshot::Values({{"metrics_test/counter", 3}}),
      metrics_snapshot::read("metrics_test/", "20ms").get());

  process::http::URL bad = metrics_snapshot::url();
  bad.query["timeout"] = "soon";
  Future<process::http::Response> refused = process::http::get(bad);
  ASSERT_TRUE(ready(refused));
  EXPECT_EQ(400u, refused->code);
  EXPECT_EQ(
      "Invalid timeout 'soon': Failed to convert '' to number.\n",
      refused->body);

  never.set(1.5);
  EXPECT_EQ(
      metrics_snapshot::Values(
          {{"metrics_test/counter", 3}, {"metrics_test/gauge", 1.5}}),
      metrics_snapshot::read("metrics_test/").get());

  ASSERT_TRUE(ready(process::metrics::remove(counter)));
  ASSERT_TRUE(ready(process::metrics::remove(gauge)));
}
