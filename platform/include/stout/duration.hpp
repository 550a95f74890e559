#ifndef __STOUT_DURATION_HPP__
#define __STOUT_DURATION_HPP__

#include <ctype.h>
#include <stdint.h>
#include <sys/time.h>

#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include <stout/error.hpp>
#include <stout/numify.hpp>
#include <stout/try.hpp>

// A signed span of time with nanosecond resolution (int64 nanoseconds).
// Text form: a non-negative decimal number directly followed by one of the
// units ns, us, ms, secs, mins, hrs, days, weeks ("5secs", "1.5hrs").
class Duration
{
public:
  static Try<Duration> parse(const std::string& s);

  // Fails when `seconds` does not fit into int64 nanoseconds.
  static Try<Duration> create(double seconds);

  constexpr Duration() : nanos(0) {}

  explicit Duration(const timeval& t)
    : nanos(t.tv_sec * SECONDS + t.tv_usec * MICROSECONDS) {}

  int64_t ns() const { return nanos; }
  double us() const { return static_cast<double>(nanos) / MICROSECONDS; }
  double ms() const { return static_cast<double>(nanos) / MILLISECONDS; }
  double secs() const { return static_cast<double>(nanos) / SECONDS; }
  double mins() const { return static_cast<double>(nanos) / MINUTES; }
  double hrs() const { return static_cast<double>(nanos) / HOURS; }
  double days() const { return static_cast<double>(nanos) / DAYS; }
  double weeks() const { return static_cast<double>(nanos) / WEEKS; }

  struct timeval timeval() const
  {
    struct timeval t;
    t.tv_sec = static_cast<time_t>(nanos / SECONDS);
    t.tv_usec = static_cast<suseconds_t>((nanos % SECONDS) / MICROSECONDS);
    return t;
  }

  bool operator<(const Duration& d) const { return nanos < d.nanos; }
  bool operator<=(const Duration& d) const { return nanos <= d.nanos; }
  bool operator>(const Duration& d) const { return nanos > d.nanos; }
  bool operator>=(const Duration& d) const { return nanos >= d.nanos; }
  bool operator==(const Duration& d) const { return nanos == d.nanos; }
  bool operator!=(const Duration& d) const { return nanos != d.nanos; }

  Duration& operator+=(const Duration& that)
  {
    nanos += that.nanos;
    return *this;
  }

  Duration& operator-=(const Duration& that)
  {
    nanos -= that.nanos;
    return *this;
  }

  // Scaling truncates towards zero.
  Duration& operator*=(double multiplier)
  {
    nanos = static_cast<int64_t>(static_cast<double>(nanos) * multiplier);
    return *this;
  }

  Duration& operator/=(double divisor)
  {
    nanos = static_cast<int64_t>(static_cast<double>(nanos) / divisor);
    return *this;
  }

  Duration operator+(const Duration& that) const
  {
    Duration result = *this;
    return result += that;
  }

  Duration operator-(const Duration& that) const
  {
    Duration result = *this;
    return result -= that;
  }

  Duration operator*(double multiplier) const
  {
    Duration result = *this;
    return result *= multiplier;
  }

  Duration operator/(double divisor) const
  {
    Duration result = *this;
    return result /= divisor;
  }

  static constexpr Duration max();
  static constexpr Duration min();
  static constexpr Duration zero() { return Duration(); }

protected:
  static constexpr int64_t NANOSECONDS = 1;
  static constexpr int64_t MICROSECONDS = 1000 * NANOSECONDS;
  static constexpr int64_t MILLISECONDS = 1000 * MICROSECONDS;
  static constexpr int64_t SECONDS = 1000 * MILLISECONDS;
  static constexpr int64_t MINUTES = 60 * SECONDS;
  static constexpr int64_t HOURS = 60 * MINUTES;
  static constexpr int64_t DAYS = 24 * HOURS;
  static constexpr int64_t WEEKS = 7 * DAYS;

  constexpr Duration(int64_t value, int64_t unit) : nanos(value * unit) {}

private:
  int64_t nanos;

  friend std::ostream& operator<<(std::ostream&, const Duration&);
};


class Nanoseconds : public Duration
{
public:
  explicit constexpr Nanoseconds(int64_t value)
    : Duration(value, NANOSECONDS) {}
  constexpr Nanoseconds(const Duration& d) : Duration(d) {}

  double value() const { return static_cast<double>(ns()); }
  static std::string units() { return "ns"; }
};


class Microseconds : public Duration
{
public:
  explicit constexpr Microseconds(int64_t value)
    : Duration(value, MICROSECONDS) {}
  constexpr Microseconds(const Duration& d) : Duration(d) {}

  double value() const { return us(); }
  static std::string units() { return "us"; }
};


class Milliseconds : public Duration
{
public:
  explicit constexpr Milliseconds(int64_t value)
    : Duration(value, MILLISECONDS) {}
  constexpr Milliseconds(const Duration& d) : Duration(d) {}

  double value() const { return ms(); }
  static std::string units() { return "ms"; }
};


class Seconds : public Duration
{
public:
  explicit constexpr Seconds(int64_t value) : Duration(value, SECONDS) {}
  constexpr Seconds(const Duration& d) : Duration(d) {}

  double value() const { return secs(); }
  static std::string units() { return "secs"; }
};


class Minutes : public Duration
{
public:
  explicit constexpr Minutes(int64_t value) : Duration(value, MINUTES) {}
  constexpr Minutes(const Duration& d) : Duration(d) {}

  double value() const { return mins(); }
  static std::string units() { return "mins"; }
};


class Hours : public Duration
{
public:
  explicit constexpr Hours(int64_t value) : Duration(value, HOURS) {}
  constexpr Hours(const Duration& d) : Duration(d) {}

  double value() const { return hrs(); }
  static std::string units() { return "hrs"; }
};


// Not constexpr, as in Mesos.
class Days : public Duration
{
public:
  explicit Days(int64_t value) : Duration(value, DAYS) {}
  Days(const Duration& d) : Duration(d) {}

  double value() const { return days(); }
  static std::string units() { return "days"; }
};


class Weeks : public Duration
{
public:
  explicit constexpr Weeks(int64_t value) : Duration(value, WEEKS) {}
  constexpr Weeks(const Duration& d) : Duration(d) {}

  double value() const { return weeks(); }
  static std::string units() { return "weeks"; }
};


inline constexpr Duration Duration::max()
{
  return Nanoseconds(std::numeric_limits<int64_t>::max());
}


inline constexpr Duration Duration::min()
{
  return Nanoseconds(std::numeric_limits<int64_t>::min());
}


inline Try<Duration> Duration::create(double seconds)
{
  const double nanoseconds = seconds * SECONDS;

  // 2^63 is exactly representable; anything at or beyond it (or NaN) does
  // not fit into int64.
  if (!(nanoseconds < 9223372036854775808.0 &&
        nanoseconds >= -9223372036854775808.0)) {
    return Error(
        "Argument out of the range that a Duration can represent due to "
        "int64_t's size limit");
  }

  return Nanoseconds(static_cast<int64_t>(nanoseconds));
}


inline Try<Duration> Duration::parse(const std::string& s)
{
  // The number is the leading run of digits and dots; no sign, exponent or
  // blanks, so "-5secs" and "5 secs" are rejected.
  size_t index = 0;
  while (index < s.size() &&
         (isdigit(static_cast<unsigned char>(s[index])) || s[index] == '.')) {
    ++index;
  }

  if (index == s.size()) {
    return Error("Invalid duration '" + s + "'");
  }

  Try<double> value = numify<double>(s.substr(0, index));
  if (value.isError()) {
    return Error(value.error());
  }

  const std::string unit = s.substr(index);

  int64_t factor = 0;
  if (unit == "ns") {
    factor = NANOSECONDS;
  } else if (unit == "us") {
    factor = MICROSECONDS;
  } else if (unit == "ms") {
    factor = MILLISECONDS;
  } else if (unit == "secs") {
    factor = SECONDS;
  } else if (unit == "mins") {
    factor = MINUTES;
  } else if (unit == "hrs") {
    factor = HOURS;
  } else if (unit == "days") {
    factor = DAYS;
  } else if (unit == "weeks") {
    factor = WEEKS;
  } else {
    return Error(
        "Unknown duration unit '" + unit + "'; supported units are"
        " 'ns', 'us', 'ms', 'secs', 'mins', 'hrs', 'days', and 'weeks'");
  }

  // Converting an out-of-range double to int64 is undefined; such values
  // get create()'s range error instead.
  const double nanoseconds = value.get() * static_cast<double>(factor);
  if (!(nanoseconds < 9223372036854775808.0)) {
    return create(nanoseconds / SECONDS);
  }

  return Nanoseconds(static_cast<int64_t>(nanoseconds));
}


// Prints in the unit of the value's magnitude, or in the next smaller unit
// when that gives a whole number and the larger one does not: 90 seconds
// print as "90secs", 300 seconds as "5mins", 1.5 seconds as "1500ms".
inline std::ostream& operator<<(std::ostream& stream, const Duration& duration_)
{
  const std::streamsize precision =
    stream.precision(std::numeric_limits<double>::digits10);

  Duration duration = duration_;
  if (duration_ < Duration::zero()) {
    stream << "-";
    // The magnitude of min() does not fit; max() is one nanosecond short.
    duration = duration_ == Duration::min()
      ? Duration::max()
      : Nanoseconds(-duration_.ns());
  }

  const int64_t nanos = duration.ns();

  // Each bucket: its upper bound, its unit and the next smaller unit.
  if (duration < Microseconds(1)) {
    stream << nanos << Nanoseconds::units();
  } else if (duration < Milliseconds(1)) {
    if (nanos % Duration::MICROSECONDS != 0) {
      stream << nanos << Nanoseconds::units();
    } else {
      stream << duration.us() << Microseconds::units();
    }
  } else {
    struct Bucket
    {
      Duration limit;
      int64_t unit;
      int64_t smaller;
      double (Duration::*value)() const;
      double (Duration::*smallerValue)() const;
      const char* units;
      const char* smallerUnits;
    };

    const Bucket buckets[] = {
      {Seconds(1), Duration::MILLISECONDS, Duration::MICROSECONDS,
       &Duration::ms, &Duration::us, "ms", "us"},
      {Minutes(1), Duration::SECONDS, Duration::MILLISECONDS,
       &Duration::secs, &Duration::ms, "secs", "ms"},
      {Hours(1), Duration::MINUTES, Duration::SECONDS,
       &Duration::mins, &Duration::secs, "mins", "secs"},
      {Days(1), Duration::HOURS, Duration::MINUTES,
       &Duration::hrs, &Duration::mins, "hrs", "mins"},
      {Weeks(1), Duration::DAYS, Duration::HOURS,
       &Duration::days, &Duration::hrs, "days", "hrs"},
      {Duration::max(), Duration::WEEKS, Duration::DAYS,
       &Duration::weeks, &Duration::days, "weeks", "days"},
    };

    for (const Bucket& bucket : buckets) {
      if (duration < bucket.limit || bucket.unit == Duration::WEEKS) {
        if (nanos % bucket.unit != 0 && nanos % bucket.smaller == 0) {
          stream << (duration.*bucket.smallerValue)() << bucket.smallerUnits;
        } else {
          stream << (duration.*bucket.value)() << bucket.units;
        }
        break;
      }
    }
  }

  stream.precision(precision);
  return stream;
}

#endif // __STOUT_DURATION_HPP__
