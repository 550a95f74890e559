#ifndef __TESTS_SUPPORT_FUTURES_HPP__
#define __TESTS_SUPPORT_FUTURES_HPP__

// Waiting on futures in tests: ASSERT_TRUE(ready(future)) and
// ASSERT_TRUE(failed(future, message)). They wait on the future itself,
// with a generous limit on a running clock; with a paused clock, settle it
// first and check the state instead.

#include <string>

#include <gtest/gtest.h>

#include <process/future.hpp>

#include <stout/duration.hpp>

template <typename T>
::testing::AssertionResult ready(
    const process::Future<T>& future,
    const Duration& limit = Seconds(15))
{
  if (!future.await(limit)) {
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
  if (!future.await(limit)) {
    return ::testing::AssertionFailure() << "still pending after " << limit;
  }
  if (!future.isFailed()) {
    return ::testing::AssertionFailure()
      << (future.isReady() ? "ready" : "discarded") << ", expected failure: "
      << message;
  }
  if (future.failure() != message) {
    return ::testing::AssertionFailure()
      << "failed with: " << future.failure() << "\n     expected: " << message;
  }
  return ::testing::AssertionSuccess();
}

#endif // __TESTS_SUPPORT_FUTURES_HPP__
