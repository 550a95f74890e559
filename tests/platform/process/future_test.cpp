#include <list>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/collect.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>

using process::Clock;
using process::Failure;
using process::Future;
using process::Promise;

using std::list;
using std::string;


TEST(FutureTest, FirstOutcomeWins)
{
  Promise<int> promise;
  Future<int> future = promise.future();
  EXPECT_TRUE(future.isPending());

  EXPECT_TRUE(promise.set(1));
  EXPECT_FALSE(promise.set(2));
  EXPECT_FALSE(promise.fail("late"));
  EXPECT_FALSE(promise.discard());

  ASSERT_TRUE(future.isReady());
  EXPECT_EQ(1, future.get());
}


TEST(FutureTest, DiscardRequestIsNotADiscardedFuture)
{
  Promise<int> promise;
  Future<int> future = promise.future();

  int requests = 0;
  promise.future().onDiscard([&requests]() { ++requests; });

  EXPECT_TRUE(future.discard());
  EXPECT_FALSE(future.discard());
  EXPECT_EQ(1, requests);
  EXPECT_TRUE(future.hasDiscard());
  EXPECT_TRUE(future.isPending());

  // The producer decides: here it completes anyway.
  EXPECT_TRUE(promise.set(7));
  EXPECT_TRUE(future.isReady());

  Promise<int> other;
  EXPECT_TRUE(other.discard());
  EXPECT_TRUE(other.future().isDiscarded());
  EXPECT_FALSE(other.future().hasDiscard());
}


TEST(FutureTest, CallbacksRunOnceInTheirStateOnly)
{
  Promise<string> promise;
  Future<string> future = promise.future();

  string ready;
  int failed = 0;
  int discarded = 0;
  int any = 0;

  future.onReady([&ready](const string& value) { ready = value; })
      .onFailed([&failed](const string&) { ++failed; })
      .onDiscarded([&discarded]() { ++discarded; })
      .onAny([&any](const Future<string>& f) { any += f.isReady() ? 1 : 100; });

  promise.set(string("value"));
  EXPECT_EQ("value", ready);
  EXPECT_EQ(0, failed);
  EXPECT_EQ(0, discarded);
  EXPECT_EQ(1, any);

  // Registered after completion: runs at once, on this thread.
  bool late = false;
  future.onReady([&late]() { late = true; });
  EXPECT_TRUE(late);
}


TEST(FutureTest, ConstructsFromValuesFailuresAndTries)
{
  Future<int> value = 3;
  Future<int> failure = Failure("broken");
  Future<int> error = Try<int>(Error("bad"));
  Future<string> converted = "text";

  EXPECT_EQ(3, value.get());
  EXPECT_EQ("broken", failure.failure());
  EXPECT_EQ("bad", error.failure());
  EXPECT_EQ("text", converted.get());
  EXPECT_EQ("gone", Future<int>::failed("gone").failure());
}


TEST(FutureTest, ThenChainsValuesAndFutures)
{
  Promise<int> promise;

  Future<string> result =
      promise.future()
          .then([](int x) { return x * 2; })
          .then([](int x) -> Future<int> { return x + 1; })
          .then([](int x) { return std::to_string(x); });

  promise.set(20);
  AWAIT_EXPECT_EQ("41", result);
}


TEST(FutureTest, FailurePartWaySkipsTheRestOfTheChain)
{
  Promise<int> promise;
  bool reached = false;

  Future<int> result =
      promise.future()
          .then([](int) -> Future<int> { return Failure("step two failed"); })
          .then([&reached](int x) {
            reached = true;
            return x;
          });

  promise.set(1);
  AWAIT_EXPECT_FAILURE_EQ("step two failed", result);
  EXPECT_FALSE(reached);
}


TEST(FutureTest, DiscardPartWayDiscardsTheRest)
{
  Promise<int> first;
  Promise<int> second;
  bool reached = false;

  Future<int> result =
      first.future()
          .then([&second](int) { return second.future(); })
          .then([&reached](int x) {
            reached = true;
            return x;
          });

  first.set(1);
  second.discard();

  AWAIT_EXPECT_DISCARDED(result);
  EXPECT_FALSE(reached);
}


TEST(FutureTest, DiscardOfTheResultReachesTheSource)
{
  Promise<int> source;
  bool requested = false;
  source.future().onDiscard([&requested]() { requested = true; });

  Future<int> result = source.future().then([](int x) { return x; });
  result.discard();
  EXPECT_TRUE(requested);

  // A value that arrives after the discard request is not passed on.
  bool ran = false;
  Future<int> second = source.future().then([&ran](int x) {
    ran = true;
    return x;
  });
  source.set(5);
  EXPECT_TRUE(result.isDiscarded());
  EXPECT_TRUE(second.isDiscarded());
  EXPECT_FALSE(ran);
}


TEST(FutureTest, RepairReplacesOnlyFailures)
{
  auto repair = [](const Future<int>&) -> Future<int> { return 99; };

  Future<int> failed = Future<int>(Failure("x")).repair(repair);
  Future<int> ready = Future<int>(1).repair(repair);

  Promise<int> promise;
  Future<int> discarded = promise.future().repair(repair);
  promise.discard();

  EXPECT_EQ(99, failed.get());
  EXPECT_EQ(1, ready.get());
  EXPECT_TRUE(discarded.isDiscarded());
}


TEST(FutureTest, AssociateFollowsTheOtherFutureAndForwardsDiscards)
{
  Promise<int> inner;
  bool innerDiscardRequested = false;
  inner.future().onDiscard(
      [&innerDiscardRequested]() { innerDiscardRequested = true; });

  Promise<int> outer;
  EXPECT_TRUE(outer.associate(inner.future()));
  EXPECT_FALSE(outer.set(3));

  Future<int> future = outer.future();
  future.discard();
  EXPECT_TRUE(innerDiscardRequested);

  inner.fail("inner failed");
  EXPECT_EQ("inner failed", future.failure());
}


TEST(FutureTest, AwaitTimesOutOnAPendingFuture)
{
  Promise<int> promise;
  EXPECT_FALSE(promise.future().await(Milliseconds(1)));
  promise.set(1);
  EXPECT_TRUE(promise.future().await(Milliseconds(1)));
}


class AfterTest : public ::testing::Test
{
protected:
  void SetUp() override { Clock::pause(); }
  void TearDown() override { Clock::resume(); }
};


TEST_F(AfterTest, TimerFiresOnlyWhenThePausedClockPassesIt)
{
  Promise<int> promise;
  bool discardRequested = false;
  promise.future().onDiscard([&]() { discardRequested = true; });

  Future<int> result = promise.future().after(
      Seconds(10), [](Future<int> original) -> Future<int> {
        original.discard();
        return Failure("Timed out after 10secs");
      });

  Clock::advance(Seconds(9));
  Clock::settle();
  EXPECT_TRUE(result.isPending());

  Clock::advance(Seconds(1));
  AWAIT_EXPECT_FAILURE_EQ("Timed out after 10secs", result);
  EXPECT_TRUE(discardRequested);
}


TEST_F(AfterTest, CompletionBeforeTheTimerCancelsIt)
{
  Promise<int> promise;
  bool called = false;

  Future<int> result = promise.future().after(
      Seconds(10), [&called](const Future<int>&) -> Future<int> {
        called = true;
        return 0;
      });

  promise.set(4);
  AWAIT_EXPECT_EQ(4, result);

  Clock::advance(Seconds(20));
  Clock::settle();
  EXPECT_FALSE(called);
}


TEST(CollectTest, ValuesInInputOrder)
{
  Promise<int> first;
  Promise<int> second;

  Future<list<int>> result =
      process::collect(list<Future<int>>{first.future(), second.future()});

  second.set(2);
  EXPECT_TRUE(result.isPending());
  first.set(1);

  AWAIT_EXPECT_EQ((list<int>{1, 2}), result);
  AWAIT_EXPECT_EQ(list<int>(), process::collect(list<Future<int>>()));
}


TEST(CollectTest, FailureAndDiscardAreReportedAndTheRestRunOn)
{
  Promise<int> failing;
  Promise<int> pending;
  bool pendingDiscarded = false;
  pending.future().onDiscard([&]() { pendingDiscarded = true; });

  Future<list<int>> failed =
      process::collect(list<Future<int>>{failing.future(), pending.future()});
  failing.fail("no luck");

  AWAIT_EXPECT_FAILURE_EQ("Collect failed: no luck", failed);
  EXPECT_FALSE(pendingDiscarded);
  EXPECT_TRUE(pending.future().isPending());

  Promise<int> discarding;
  Future<list<int>> discarded =
      process::collect(list<Future<int>>{discarding.future()});
  discarding.discard();

  AWAIT_EXPECT_FAILURE_EQ("Collect failed: future discarded", discarded);
}


TEST(CollectTest, DiscardingTheResultDiscardsTheInputs)
{
  Promise<int> input;
  bool requested = false;
  input.future().onDiscard([&]() { requested = true; });

  Future<list<int>> result =
      process::collect(list<Future<int>>{input.future()});
  result.discard();

  EXPECT_TRUE(result.isDiscarded());
  EXPECT_TRUE(requested);
}


TEST(CollectTest, VariadicFormGivesATuple)
{
  Future<std::tuple<int, string>> result =
      process::collect(Future<int>(1), Future<string>("one"));

  AWAIT_ASSERT_READY(result);
  EXPECT_EQ(1, std::get<0>(result.get()));
  EXPECT_EQ("one", std::get<1>(result.get()));
}


TEST(AwaitTest, WaitsForAllWhateverTheirOutcome)
{
  Promise<int> failing;
  Promise<int> ready;

  Future<list<Future<int>>> result =
      process::await(list<Future<int>>{failing.future(), ready.future()});

  failing.fail("x");
  EXPECT_TRUE(result.isPending());
  ready.set(1);

  AWAIT_ASSERT_READY(result);
  EXPECT_TRUE(result.get().front().isFailed());
  EXPECT_TRUE(result.get().back().isReady());
}
