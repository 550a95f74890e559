#ifndef __TESTS_PLATFORM_MESOS_EXPECT_TRY_HPP__
#define __TESTS_PLATFORM_MESOS_EXPECT_TRY_HPP__

// gtest assertions on Try values, named as in Mesos's own tests. Each
// evaluates its argument once and prints the error (or its absence).

#include <string>

#include <gtest/gtest.h>

#include <stout/try.hpp>

namespace ovra_test {

template <typename T>
std::string errorOf(const Try<T>& t)
{
  return t.isError() ? t.error() : std::string("(no error)");
}

} // namespace ovra_test {

#define OVRA_TRY_CHECK_(assertion, expected, actual)                  \
  do {                                                                \
    const auto& _try = (actual);                                      \
    assertion(expected, _try.isSome()) << ::ovra_test::errorOf(_try); \
  } while (false)

#define ASSERT_SOME(actual) OVRA_TRY_CHECK_(ASSERT_EQ, true, actual)
#define EXPECT_SOME(actual) OVRA_TRY_CHECK_(EXPECT_EQ, true, actual)
#define ASSERT_ERROR(actual) OVRA_TRY_CHECK_(ASSERT_EQ, false, actual)
#define EXPECT_ERROR(actual) OVRA_TRY_CHECK_(EXPECT_EQ, false, actual)

#define EXPECT_ERROR_EQ(message, actual) \
  EXPECT_EQ(std::string(message), ::ovra_test::errorOf(actual))

#endif // __TESTS_PLATFORM_MESOS_EXPECT_TRY_HPP__
