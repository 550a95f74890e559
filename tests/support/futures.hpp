#ifndef __TESTS_SUPPORT_FUTURES_HPP__
#define __TESTS_SUPPORT_FUTURES_HPP__

// Waiting on futures in tests: ASSERT_TRUE(ready(future)) and
// ASSERT_TRUE(failed(future, message)). They wait on the future itself,
// with a generous limit in real time, whatever libprocess's clock does:
// Future::await counts its limit on that clock, which a paused clock holds.

#include <chrono>
#include <future>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <process/future.hpp>

#include <stout/duration.hpp>

namespace ovra_test {

// Whether `future` leaves PENDING within `limit` of real time.
template <typename T>
bool completesWithin(const process::Future<T>& future, const Duration& limit)
{
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> completed = done->get_future();
  future.onAny([done](const process::Future<T>&) { done->set_value(); });
  return completed.wait_for(std::chrono::nanoseconds(limit.ns())) ==
      std::future_status::ready;
}


template <typename T>
::testing::AssertionResult ready(
    const process::Future<T>& future,
    const Duration& limit = Seconds(15))
{
  if (!completesWithin(future, limit)) {
    return ::testing::AssertionFailure() << "still pending after " << limit;
  }
  if (future.isFailed()) {
    return ::testing::AssertionFailure() << "failed: " << future.failure();
  }
  if (future.isDiscarded()) {
    return ::testing::AssertionFailure() << "discarded";
  }
  return ::testing::AssertionSuccess();
}


// The future failed with exactly `message`.
template <typename T>
::testing::AssertionResult failed(
    const process::Future<T>& future,
    const std::string& message,
    const Duration& limit = Seconds(15))
{
  if (!completesWithin(future, limit)) {
    return ::testing::AssertionFailure() << "still pending after " << limit;
  }
  if (!future.isFailed()) {
    return ::testing::AssertionFailure()
        << (future.isReady() ? "ready" : "discarded")
        << ", expected failure: " << message;
  }
  if (future.failure() != message) {
    return ::testing::AssertionFailure()
        << "failed with: " << future.failure()
        << "\n     expected: " << message;
  }
  return ::testing::AssertionSuccess();
}

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_FUTURES_HPP__
