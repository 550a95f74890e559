#include <atomic>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/time.hpp>
#include <process/timeout.hpp>
#include <process/timer.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

using process::Clock;
using process::RFC3339;
using process::Time;
using process::Timeout;
using process::Timer;


TEST(TimeTest, Rfc3339UsesABlankAndNanosecondsOnlyWhenSet)
{
  const Time time = Time::epoch() + Seconds(1700000000);
  EXPECT_EQ("2023-11-14 22:13:20+00:00", stringify(RFC3339(time)));
  EXPECT_EQ(
      "2023-11-14 22:13:20.250000000+00:00",
      stringify(time + Milliseconds(250)));
  EXPECT_EQ(
      "1970-01-01 00:00:00.000000001+00:00",
      stringify(Time::epoch() + Nanoseconds(1)));
}


class ClockTest : public ::testing::Test
{
protected:
  void SetUp() override { Clock::pause(); }
  void TearDown() override { Clock::resume(); }
};


TEST_F(ClockTest, PausedTimeMovesOnlyByAdvance)
{
  const Time start = Clock::now();
  EXPECT_TRUE(Clock::paused());
  EXPECT_EQ(start, Clock::now());

  Clock::advance(Minutes(3));
  EXPECT_EQ(start + Minutes(3), Clock::now());

  // Advancing does not work backwards through update().
  Clock::update(start);
  EXPECT_EQ(start + Minutes(3), Clock::now());
}


TEST_F(ClockTest, TimeCreateIncludesEveryAdvance)
{
  Try<Time> before = Time::create(100);
  ASSERT_TRUE(before.isSome());

  Clock::advance(Seconds(7));

  Try<Time> after = Time::create(100);
  ASSERT_TRUE(after.isSome());
  EXPECT_EQ(Seconds(7), after.get() - before.get());

  EXPECT_TRUE(Time::create(1e300).isError());
}


TEST_F(ClockTest, TimersFireOnceDueAndNotWhenCancelled)
{
  std::atomic<int> fired(0);
  std::atomic<int> cancelledFired(0);

  Timer timer = Clock::timer(Seconds(10), [&fired]() { ++fired; });
  Timer cancelled =
      Clock::timer(Seconds(10), [&cancelledFired]() { ++cancelledFired; });
  EXPECT_TRUE(timer.creator().id.empty());

  Clock::advance(Seconds(9));
  Clock::settle();
  EXPECT_EQ(0, fired.load());

  EXPECT_TRUE(Clock::cancel(cancelled));
  EXPECT_FALSE(Clock::cancel(cancelled));

  Clock::advance(Seconds(1));
  Clock::settle();
  EXPECT_EQ(1, fired.load());
  EXPECT_EQ(0, cancelledFired.load());
  EXPECT_FALSE(Clock::cancel(timer));

  Clock::advance(Seconds(100));
  Clock::settle();
  EXPECT_EQ(1, fired.load());
}


TEST_F(ClockTest, TimeoutFollowsTheClock)
{
  const Timeout timeout = Timeout::in(Seconds(5));
  EXPECT_FALSE(timeout.expired());
  EXPECT_EQ(Seconds(5), timeout.remaining());

  Clock::advance(Seconds(2));
  EXPECT_EQ(Seconds(3), timeout.remaining());

  Clock::advance(Seconds(4));
  EXPECT_TRUE(timeout.expired());
  EXPECT_EQ(Duration::zero(), timeout.remaining());

  EXPECT_EQ(Time::max(), Timeout::in(Duration::max()).time());
}
