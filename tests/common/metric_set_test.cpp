// A module's metrics as the metrics process serves them: counters and
// timers under their area while their set lives, a second set of the same
// names left out without disturbing the first (even one destroyed before
// its adds are answered), and a timer's statistics
// after known times on a paused clock.

#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>

#include "common/metric_set.hpp"

#include "support/metrics_snapshot.hpp"

using namespace ovra_test;

using corvanta::MetricSet;

using process::Clock;
using process::Promise;

using process::metrics::Counter;
using process::metrics::Timer;

namespace {

metrics_snapshot::Values snapshot()
{
  const Try<metrics_snapshot::Values> values =
      metrics_snapshot::read("metric_set_test/");
  EXPECT_FALSE(values.isError()) << values.error();
  return values.isSome() ? values.get() : metrics_snapshot::Values();
}

} // namespace {


TEST(MetricSetTest, MetricsAreServedWhileTheirSetLives)
{
  {
    MetricSet first("metric_set_test");
    Counter hits = first.counter("hits");
    ++hits;

    {
      MetricSet second("metric_set_test");
      Counter others = second.counter("hits");
      others += 5;
      EXPECT_EQ(
          metrics_snapshot::Values({{"metric_set_test/hits", 1}}), snapshot());
    }

    // The copy in a struct or a callback counts into the same metric.
    Counter copy = hits;
    ++copy;
    EXPECT_EQ(
        metrics_snapshot::Values({{"metric_set_test/hits", 2}}), snapshot());

    // A second set gone before its add is answered leaves the first's
    // metric in place as well.
    {
      MetricSet third("metric_set_test");
      third.counter("hits");
    }
    EXPECT_EQ(
        metrics_snapshot::Values({{"metric_set_test/hits", 2}}), snapshot());
  }

  EXPECT_EQ(metrics_snapshot::Values(), snapshot());
}


TEST(MetricSetTest, ATimersStatisticsFollowItsTimes)
{
  Clock::pause();
  MetricSet set("metric_set_test");
  Timer<Milliseconds> timer = set.timer("op");

  // One time is only a value; the statistics need two.
  timer.start();
  Clock::advance(Milliseconds(10));
  timer.stop();
  EXPECT_EQ(
      metrics_snapshot::Values({{"metric_set_test/op_ms", 10}}), snapshot());

  for (int ms : {20, 30, 40}) {
    timer.start();
    Clock::advance(Milliseconds(ms));
    timer.stop();
  }

  // An asynchronous event is timed from time() until it completes.
  Promise<Nothing> event;
  timer.time(event.future());
  Clock::advance(Milliseconds(5));
  event.set(Nothing());

  // Of 5, 10, 20, 30 and 40 ms, interpolated between neighbours.
  const metrics_snapshot::Values expected = {
      {"metric_set_test/op_ms", 5},
      {"metric_set_test/op_ms/count", 5},
      {"metric_set_test/op_ms/min", 5},
      {"metric_set_test/op_ms/max", 40},
      {"metric_set_test/op_ms/p50", 20},
      {"metric_set_test/op_ms/p90", 36},
      {"metric_set_test/op_ms/p95", 38},
      {"metric_set_test/op_ms/p99", 39.6},
      {"metric_set_test/op_ms/p999", 39.96},
      {"metric_set_test/op_ms/p9999", 39.996}};

  const metrics_snapshot::Values values = snapshot();
  ASSERT_EQ(expected.size(), values.size());
  for (const auto& [name, value] : expected) {
    ASSERT_EQ(1u, values.count(name)) << name;
    EXPECT_NEAR(value, values.at(name), 1e-9) << name;
  }

  Clock::resume();
}
