#ifndef __PROCESS_TIMEOUT_HPP__
#define __PROCESS_TIMEOUT_HPP__

#include <process/clock.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>

namespace process {

// A deadline on the libprocess clock.
class Timeout
{
public:
  Timeout() : timeout_(Clock::now()) {}

  explicit Timeout(const Time& time) : timeout_(time) {}

  // A deadline `duration` from now; saturates at Time::max().
  static Timeout in(const Duration& duration)
  {
    const Time now = Clock::now();
    if (duration > Duration::zero() && Time::max() - now < duration) {
      return Timeout(Time::max());
    }
    return Timeout(now + duration);
  }

  bool operator==(const Timeout& that) const
  {
    return timeout_ == that.timeout_;
  }

  bool operator<(const Timeout& that) const { return timeout_ < that.timeout_; }

  bool operator<=(const Timeout& that) const
  {
    return timeout_ <= that.timeout_;
  }

  Time time() const { return timeout_; }

  bool expired() const { return timeout_ <= Clock::now(); }

  // What is left until the deadline, never negative.
  Duration remaining() const
  {
    const Duration remaining = timeout_ - Clock::now();
    return remaining > Duration::zero() ? remaining : Duration::zero();
  }

private:
  Time timeout_;
};

} // namespace process {

#endif // __PROCESS_TIMEOUT_HPP__
