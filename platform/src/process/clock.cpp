#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <thread>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/process.hpp>
#include <process/time.hpp>
#include <process/timeout.hpp>
#include <process/timer.hpp>

#include "runtime.hpp"

// The clock keeps its timers ordered by deadline and fires them on a
// thread of its own. That thread sleeps until the first deadline while the
// clock runs, and until advance() (or a new timer) while it is paused.

namespace process {
namespace {

struct ClockState
{
  std::mutex mutex;
  std::condition_variable changed;

  bool paused = false;

  // The time while paused.
  Time current;

  // The sum of all advance() and update() moves, added to the wall time.
  Duration advanced;

  std::map<Time, std::list<Timer>> timers;

  // Timers taken out of `timers` whose callbacks are running.
  bool firing = false;

  std::once_flag started;

  // Never joined: it lives as long as the process.
  std::thread* thread = nullptr;
};


// Never destroyed: the clock thread may still wait on it at exit.
ClockState& state()
{
  static ClockState* state = new ClockState();
  return *state;
}


Time wallTime()
{
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return Time::epoch() +
    Nanoseconds(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}


// REQUIRES: state().mutex held.
Time nowLocked(const ClockState& clock)
{
  return clock.paused ? clock.current : wallTime() + clock.advanced;
}


void fireTimers()
{
  ClockState& clock = state();
  std::unique_lock<std::mutex> lock(clock.mutex);

  while (true) {
    if (clock.timers.empty()) {
      clock.changed.wait(lock);
      continue;
    }

    const Time now = nowLocked(clock);
    const Time first = clock.timers.begin()->first;

    if (first > now) {
      if (clock.paused) {
        clock.changed.wait(lock);
      } else {
        clock.changed.wait_for(
            lock, std::chrono::nanoseconds((first - now).ns()));
      }
      continue;
    }

    std::list<Timer> due;
    auto end = clock.timers.upper_bound(now);
    for (auto it = clock.timers.begin(); it != end; ++it) {
      due.splice(due.end(), it->second);
    }
    clock.timers.erase(clock.timers.begin(), end);

    VLOG(3) << "Firing " << due.size() << " timer(s) at " << now;

    clock.firing = true;
    internal::Activity::changed();
    lock.unlock();

    for (const Timer& timer : due) {
      timer();
    }
    due.clear();

    lock.lock();
    clock.firing = false;
    internal::Activity::changed();
  }
}


void startClockThread()
{
  ClockState& clock = state();
  std::call_once(clock.started, [&clock]() {
    clock.thread = new std::thread(&fireTimers);
  });
}

} // namespace {


Time Clock::now()
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  return nowLocked(clock);
}


Time Clock::now(ProcessBase*)
{
  return now();
}


Timer Clock::timer(
    const Duration& duration,
    const std::function<void()>& thunk)
{
  static std::atomic<uint64_t> ids(1);

  startClockThread();

  ProcessBase* current = internal::current();
  const UPID creator = current != nullptr ? current->self() : UPID();

  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);

  const Time now = nowLocked(clock);
  Time deadline = Time::max();
  if (duration <= Duration::zero() || Time::max() - now > duration) {
    deadline = now + duration;
  }

  Timer timer(ids.fetch_add(1), Timeout(deadline), creator, thunk);

  VLOG(3) << "Created a timer for " << creator << " in " << duration
          << " (" << deadline << ")";

  const bool first = clock.timers.empty() || deadline < clock.timers.begin()->first;
  clock.timers[deadline].push_back(timer);
  internal::Activity::changed();

  if (first) {
    clock.changed.notify_all();
  }

  return timer;
}


bool Clock::cancel(const Timer& timer)
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);

  auto it = clock.timers.find(timer.timeout().time());
  if (it == clock.timers.end()) {
    return false;
  }

  const size_t before = it->second.size();
  it->second.remove(timer);
  const bool cancelled = it->second.size() != before;
  if (it->second.empty()) {
    clock.timers.erase(it);
  }

  // A cancelled timer that was due may have been all that kept settle()
  // waiting: it must look again.
  if (cancelled) {
    internal::Activity::changed();
  }
  return cancelled;
}


void Clock::pause()
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (!clock.paused) {
    clock.current = nowLocked(clock);
    clock.paused = true;
    VLOG(2) << "Clock paused at " << clock.current;
  }
}


bool Clock::paused()
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  return clock.paused;
}


void Clock::resume()
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (clock.paused) {
    VLOG(2) << "Clock resumed at " << clock.current;
    clock.paused = false;
    clock.changed.notify_all();
  }
}


void Clock::advance(const Duration& duration)
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (clock.paused) {
    clock.advanced += duration;
    clock.current += duration;
    VLOG(2) << "Clock advanced (" << duration << ") to " << clock.current;
    internal::Activity::changed();
    clock.changed.notify_all();
  }
}


void Clock::advance(ProcessBase*, const Duration& duration)
{
  advance(duration);
}


void Clock::update(const Time& time)
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (clock.paused && clock.current < time) {
    clock.advanced += time - clock.current;
    clock.current = time;
    VLOG(2) << "Clock updated to " << clock.current;
    internal::Activity::changed();
    clock.changed.notify_all();
  }
}


void Clock::update(ProcessBase*, const Time& time, Update)
{
  update(time);
}


void Clock::settle()
{
  // Both checks are made between two reads of the activity count: equal
  // counts mean nothing changed in between, so the idle state was real.
  while (true) {
    const uint64_t seen = internal::Activity::generation();
    if (internal::timersIdle() && internal::actorsIdle() &&
        internal::Activity::generation() == seen) {
      return;
    }
    internal::Activity::waitForChange(seen);
  }
}


Try<Time> Time::create(double seconds)
{
  Try<Duration> duration = Duration::create(seconds);
  if (duration.isError()) {
    return Error("Argument too large for Time: " + duration.error());
  }

  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  return Time(duration.get() + clock.advanced);
}


namespace internal {

bool timersIdle()
{
  ClockState& clock = state();
  std::lock_guard<std::mutex> lock(clock.mutex);
  if (clock.firing) {
    return false;
  }
  return clock.timers.empty() ||
    clock.timers.begin()->first > nowLocked(clock);
}

} // namespace internal {
} // namespace process {
