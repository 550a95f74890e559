#include <limits>
#include <string>

#include <gtest/gtest.h>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

namespace {

TEST(DurationTest, PrintsInTheLargestWholeUnit)
{
  const struct
  {
    Duration value;
    const char* text;
  } cases[] = {
      {Duration(), "0ns"},
      {Nanoseconds(999), "999ns"},
      {Nanoseconds(1500), "1500ns"},
      {Microseconds(2), "2us"},
      {Microseconds(1500), "1500us"},
      {Milliseconds(5), "5ms"},
      {Seconds(1), "1secs"},
      {Seconds(5), "5secs"},
      {Seconds(10), "10secs"},
      {Milliseconds(1500), "1500ms"},
      {Seconds(90), "90secs"},
      {Seconds(300), "5mins"},
      {Minutes(2), "2mins"},
      {Minutes(30), "30mins"},
      {Minutes(90), "90mins"},
      {Hours(2), "2hrs"},
      {Minutes(71 * 60 + 30), "2.97916666666667days"},
      {Hours(72), "3days"},
      {Days(8), "8days"},
      {Days(10), "10days"},
      {Weeks(1), "1weeks"},
      {Weeks(3), "3weeks"},
      {Seconds(-5), "-5secs"},
      {Milliseconds(-1500), "-1500ms"},
      {Nanoseconds(1) + Seconds(1), "1.000000001secs"},
      {Microseconds(1) + Seconds(1), "1.000001secs"},
      {Milliseconds(1001), "1001ms"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.text, stringify(c.value)) << "nanoseconds: " << c.value.ns();
  }
}


TEST(DurationTest, PrintsExtremesWithoutOverflow)
{
  EXPECT_EQ("-", stringify(Duration::min()).substr(0, 1));
  EXPECT_NE(std::string::npos, stringify(Duration::max()).find("weeks"));
}


TEST(DurationTest, PrintingKeepsTheStreamPrecision)
{
  std::ostringstream stream;
  stream.precision(3);
  stream << Minutes(71 * 60 + 30) << " " << 3.14159;
  EXPECT_EQ("2.97916666666667days 3.14", stream.str());
}


TEST(DurationTest, Parse)
{
  const struct
  {
    const char* text;
    Duration value;
  } cases[] = {
      {"0ns", Duration()},
      {"10ns", Nanoseconds(10)},
      {"3us", Microseconds(3)},
      {"1500ms", Milliseconds(1500)},
      {"5secs", Seconds(5)},
      {"1.5secs", Milliseconds(1500)},
      {"0.5mins", Seconds(30)},
      {"2hrs", Hours(2)},
      {"3days", Days(3)},
      {"1weeks", Weeks(1)},
      {".5secs", Milliseconds(500)},
      {"1.0000000001secs", Nanoseconds(1000000000)},
  };

  for (const auto& c : cases) {
    Try<Duration> parsed = Duration::parse(c.text);
    ASSERT_TRUE(parsed.isSome()) << c.text << ": " << parsed.error();
    EXPECT_EQ(c.value, parsed.get()) << c.text;
  }
}


TEST(DurationTest, ParseErrors)
{
  const std::string units =
      "; supported units are 'ns', 'us', 'ms', 'secs', 'mins', 'hrs', 'days',"
      " and 'weeks'";

  const struct
  {
    const char* text;
    std::string error;
  } cases[] = {
      {"", "Invalid duration ''"},
      {"5", "Invalid duration '5'"},
      {"1.5", "Invalid duration '1.5'"},
      {"abc", "Failed to convert '' to number"},
      {"-5secs", "Failed to convert '' to number"},
      {"1.2.3secs", "Failed to convert '1.2.3' to number"},
      {"5sec", "Unknown duration unit 'sec'" + units},
      {"5 secs", "Unknown duration unit ' secs'" + units},
      {"5x", "Unknown duration unit 'x'" + units},
      {"5SECS", "Unknown duration unit 'SECS'" + units},
      {"5secs ", "Unknown duration unit 'secs '" + units},
      {"99999999999999999999weeks",
       "Argument out of the range that a Duration can represent due to "
       "int64_t's size limit"},
  };

  for (const auto& c : cases) {
    Try<Duration> parsed = Duration::parse(c.text);
    ASSERT_TRUE(parsed.isError()) << c.text;
    EXPECT_EQ(c.error, parsed.error()) << c.text;
  }
}


TEST(DurationTest, Arithmetic)
{
  EXPECT_EQ(Seconds(3), Seconds(1) + Seconds(2));
  EXPECT_EQ(Seconds(-1), Seconds(1) - Seconds(2));
  EXPECT_EQ(Milliseconds(2500), Seconds(1) * 2.5);
  EXPECT_EQ(Nanoseconds(333333333), Seconds(1) / 3);
  EXPECT_LT(Milliseconds(999), Seconds(1));
  EXPECT_DOUBLE_EQ(1.5, Milliseconds(1500).secs());
  EXPECT_DOUBLE_EQ(0.5, Hours(12).days());
}


TEST(DurationTest, Create)
{
  ASSERT_TRUE(Duration::create(1.5).isSome());
  EXPECT_EQ(Milliseconds(1500), Duration::create(1.5).get());

  for (double seconds :
       {1e10,
        -1e10,
        std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()}) {
    Try<Duration> duration = Duration::create(seconds);
    ASSERT_TRUE(duration.isError()) << seconds;
    EXPECT_EQ(
        "Argument out of the range that a Duration can represent due to "
        "int64_t's size limit",
        duration.error());
  }
}


} // namespace
