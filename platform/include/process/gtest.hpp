#ifndef __PROCESS_GTEST_HPP__
#define __PROCESS_GTEST_HPP__

#include <string>

#include <gtest/gtest.h>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>

// Assertions on futures for tests: AWAIT_<STATE> waits (in real time, 15
// seconds unless _FOR gives a limit) for a future to leave PENDING and
// checks its state. The ASSERT_ forms end the test on failure, the EXPECT_
// forms go on. The _EQ forms evaluate their future expression once.

namespace process {
namespace internal {

template <typename T>
::testing::AssertionResult awaitState(
    const char* expression,
    const char*,
    const Future<T>& future,
    const Duration& duration,
    const std::string& wanted)
{
  if (!future.await(duration)) {
    return ::testing::AssertionFailure()
      << "Failed to wait " << duration << " for " << expression;
  }

  const std::string state = future.isReady() ? "READY"
    : future.isFailed() ? "FAILED"
    : "DISCARDED";

  if (state == wanted) {
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult result = ::testing::AssertionFailure();
  result << expression << " is " << state << ", not " << wanted;
  if (future.isFailed()) {
    result << ": " << future.failure();
  }
  return result;
}


template <typename T>
::testing::AssertionResult awaitReady(
    const char* expression,
    const char* durationExpression,
    const Future<T>& future,
    const Duration& duration)
{
  return awaitState(expression, durationExpression, future, duration, "READY");
}


template <typename T>
::testing::AssertionResult awaitFailed(
    const char* expression,
    const char* durationExpression,
    const Future<T>& future,
    const Duration& duration)
{
  return awaitState(
      expression, durationExpression, future, duration, "FAILED");
}


template <typename T>
::testing::AssertionResult awaitDiscarded(
    const char* expression,
    const char* durationExpression,
    const Future<T>& future,
    const Duration& duration)
{
  return awaitState(
      expression, durationExpression, future, duration, "DISCARDED");
}

} // namespace internal {
} // namespace process {


#define AWAIT_ASSERT_READY_FOR(actual, duration)                        \
  ASSERT_PRED_FORMAT2(process::internal::awaitReady, actual, duration)

#define AWAIT_ASSERT_READY(actual) AWAIT_ASSERT_READY_FOR(actual, Seconds(15))

#define AWAIT_READY_FOR(actual, duration) \
  AWAIT_ASSERT_READY_FOR(actual, duration)

#define AWAIT_READY(actual) AWAIT_ASSERT_READY(actual)

#define AWAIT_EXPECT_READY_FOR(actual, duration)                        \
  EXPECT_PRED_FORMAT2(process::internal::awaitReady, actual, duration)

#define AWAIT_EXPECT_READY(actual) AWAIT_EXPECT_READY_FOR(actual, Seconds(15))

#define AWAIT_ASSERT_FAILED_FOR(actual, duration)                       \
  ASSERT_PRED_FORMAT2(process::internal::awaitFailed, actual, duration)

#define AWAIT_ASSERT_FAILED(actual) \
  AWAIT_ASSERT_FAILED_FOR(actual, Seconds(15))

#define AWAIT_FAILED(actual) AWAIT_ASSERT_FAILED(actual)

#define AWAIT_EXPECT_FAILED_FOR(actual, duration)                       \
  EXPECT_PRED_FORMAT2(process::internal::awaitFailed, actual, duration)

#define AWAIT_EXPECT_FAILED(actual) \
  AWAIT_EXPECT_FAILED_FOR(actual, Seconds(15))

#define AWAIT_ASSERT_DISCARDED_FOR(actual, duration)                    \
  ASSERT_PRED_FORMAT2(process::internal::awaitDiscarded, actual, duration)

#define AWAIT_ASSERT_DISCARDED(actual) \
  AWAIT_ASSERT_DISCARDED_FOR(actual, Seconds(15))

#define AWAIT_DISCARDED(actual) AWAIT_ASSERT_DISCARDED(actual)

#define AWAIT_EXPECT_DISCARDED_FOR(actual, duration)                    \
  EXPECT_PRED_FORMAT2(process::internal::awaitDiscarded, actual, duration)

#define AWAIT_EXPECT_DISCARDED(actual) \
  AWAIT_EXPECT_DISCARDED_FOR(actual, Seconds(15))

#define AWAIT_ASSERT_EQ(expected, actual)       \
  do {                                          \
    const auto future_ = (actual);              \
    AWAIT_ASSERT_READY(future_);                \
    ASSERT_EQ(expected, future_.get());         \
  } while (false)

#define AWAIT_EQ(expected, actual) AWAIT_ASSERT_EQ(expected, actual)

#define AWAIT_EXPECT_EQ(expected, actual)       \
  do {                                          \
    const auto future_ = (actual);              \
    AWAIT_ASSERT_READY(future_);                \
    EXPECT_EQ(expected, future_.get());         \
  } while (false)

#define AWAIT_ASSERT_FAILURE_EQ(message, actual) \
  do {                                           \
    const auto future_ = (actual);               \
    AWAIT_ASSERT_FAILED(future_);                \
    ASSERT_EQ(message, future_.failure());       \
  } while (false)

#define AWAIT_EXPECT_FAILURE_EQ(message, actual) \
  do {                                           \
    const auto future_ = (actual);               \
    AWAIT_ASSERT_FAILED(future_);                \
    EXPECT_EQ(message, future_.failure());       \
  } while (false)

#define AWAIT_EXPECT_RESPONSE_STATUS_EQ(expected, actual)       \
  do {                                                          \
    const auto future_ = (actual);                              \
    AWAIT_ASSERT_READY(future_);                                \
    EXPECT_EQ(expected, future_.get().status);                  \
  } while (false)

#define AWAIT_EXPECT_RESPONSE_BODY_EQ(expected, actual)         \
  do {                                                          \
    const auto future_ = (actual);                              \
    AWAIT_ASSERT_READY(future_);                                \
    EXPECT_EQ(expected, future_.get().body);                    \
  } while (false)

#define AWAIT_EXPECT_RESPONSE_HEADER_EQ(expected, key, actual)  \
  do {                                                          \
    const auto future_ = (actual);                              \
    AWAIT_ASSERT_READY(future_);                                \
    EXPECT_EQ(Option<std::string>(expected),                    \
              future_.get().headers.get(key));                  \
  } while (false)

#endif // __PROCESS_GTEST_HPP__
