#ifndef __PROCESS_TIMER_HPP__
#define __PROCESS_TIMER_HPP__

#include <stdint.h>

#include <functional>

#include <process/pid.hpp>
#include <process/timeout.hpp>

namespace process {

// A handle on a callback that the clock runs once its deadline has passed;
// made by Clock::timer and cancelled with Clock::cancel. Copies refer to the
// same timer.
class Timer
{
public:
  Timer() : id_(0) {}

  bool operator==(const Timer& that) const { return id_ == that.id_; }
  bool operator!=(const Timer& that) const { return !(*this == that); }

  // Runs the callback now (the clock calls this when the timer fires).
  void operator()() const
  {
    if (thunk_) {
      thunk_();
    }
  }

  const Timeout& timeout() const { return timeout_; }

  // The actor that made the timer; empty when made outside actors.
  const UPID& creator() const { return pid_; }

private:
  friend class Clock;

  Timer(
      uint64_t id,
      const Timeout& timeout,
      const UPID& pid,
      const std::function<void()>& thunk)
    : id_(id), timeout_(timeout), pid_(pid), thunk_(thunk) {}

  uint64_t id_;
  Timeout timeout_;
  UPID pid_;
  std::function<void()> thunk_;
};

} // namespace process {

#endif // __PROCESS_TIMER_HPP__
