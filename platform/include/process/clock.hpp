#ifndef __PROCESS_CLOCK_HPP__
#define __PROCESS_CLOCK_HPP__

#include <functional>

#include <process/time.hpp>

#include <stout/duration.hpp>

namespace process {

class ProcessBase;
class Timer;

// The libprocess clock. Running, now() is the wall time plus the sum of all
// advance() calls ever made. Paused, time stands still until advance() moves
// it; timers that become due then fire on the clock's own thread, soon
// after, not inside advance(). There is one time for the whole process:
// libprocess keeps a time per actor while paused, which agrees with one
// global time as long as tests advance from outside actors.
class Clock
{
public:
  static Time now();
  static Time now(ProcessBase* process);

  // Runs `thunk` on the clock's thread once `duration` has passed on this
  // clock. A paused clock fires nothing until advanced past the deadline.
  static Timer timer(
      const Duration& duration,
      const std::function<void()>& thunk);

  // Returns true if the timer had not fired yet and now never will.
  static bool cancel(const Timer& timer);

  static void pause();
  static bool paused();
  static void resume();

  // Moves a paused clock forward; no effect while running.
  static void advance(const Duration& duration);
  static void advance(ProcessBase* process, const Duration& duration);

  // Moves a paused clock forward to `time` if it is behind it.
  static void update(const Time& time);

  enum Update
  {
    SAFE,
    FORCE,
  };

  // With one global time these only move the global time forward.
  static void update(
      ProcessBase* process,
      const Time& time,
      Update update = SAFE);

  // Blocks until no timer is due, none is firing, and no actor is runnable
  // or running. Meant for a paused clock in tests; an actor that blocks
  // forever (waiting on a future, say) keeps it from returning.
  static void settle();
};

} // namespace process {

#endif // __PROCESS_CLOCK_HPP__
