#ifndef __PROCESS_TIME_HPP__
#define __PROCESS_TIME_HPP__

#include <iosfwd>

#include <stout/duration.hpp>
#include <stout/try.hpp>

namespace process {

// A point in time as a duration since the Unix epoch. Times come from the
// libprocess Clock, so they include every Clock::advance ever made.
class Time
{
public:
  Time() : sinceEpoch_(Duration::zero()) {}

  static Time epoch() { return Time(Duration::zero()); }
  static Time max() { return Time(Duration::max()); }

  // `seconds` since the epoch plus the total the clock has been advanced,
  // so that times made from wall-clock seconds agree with Clock::now().
  static Try<Time> create(double seconds);

  Duration duration() const { return sinceEpoch_; }
  double secs() const { return sinceEpoch_.secs(); }

  bool operator<(const Time& t) const { return sinceEpoch_ < t.sinceEpoch_; }
  bool operator<=(const Time& t) const { return sinceEpoch_ <= t.sinceEpoch_; }
  bool operator>(const Time& t) const { return sinceEpoch_ > t.sinceEpoch_; }
  bool operator>=(const Time& t) const { return sinceEpoch_ >= t.sinceEpoch_; }
  bool operator==(const Time& t) const { return sinceEpoch_ == t.sinceEpoch_; }
  bool operator!=(const Time& t) const { return sinceEpoch_ != t.sinceEpoch_; }

  Time& operator+=(const Duration& d)
  {
    sinceEpoch_ += d;
    return *this;
  }

  Time& operator-=(const Duration& d)
  {
    sinceEpoch_ -= d;
    return *this;
  }

  Duration operator-(const Time& that) const
  {
    return sinceEpoch_ - that.sinceEpoch_;
  }

  Time operator+(const Duration& d) const
  {
    Time result = *this;
    return result += d;
  }

  Time operator-(const Duration& d) const
  {
    Time result = *this;
    return result -= d;
  }

private:
  friend class Clock;

  explicit Time(const Duration& sinceEpoch) : sinceEpoch_(sinceEpoch) {}

  Duration sinceEpoch_;
};


// Writes a Time as "YYYY-MM-DD HH:MM:SS[.nnnnnnnnn]+00:00" in UTC; the
// nanoseconds appear, nine digits wide, only when they are not zero.
class RFC3339
{
public:
  explicit RFC3339(const Time& time) : time_(time) {}

private:
  friend std::ostream& operator<<(std::ostream&, const RFC3339&);

  const Time time_;
};


std::ostream& operator<<(std::ostream& stream, const RFC3339& formatter);
std::ostream& operator<<(std::ostream& stream, const Time& time);

} // namespace process {

#endif // __PROCESS_TIME_HPP__
