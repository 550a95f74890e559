#include <condition_variable>
#include <mutex>

#include <process/clock.hpp>
#include <process/latch.hpp>
#include <process/timer.hpp>

namespace process {

// Shared with the timer of an await, which may fire after the latch has
// gone.
struct Latch::State
{
  std::mutex mutex;
  std::condition_variable condition;
  bool triggered = false;
};


Latch::Latch() : state_(std::make_shared<State>()) {}


bool Latch::trigger()
{
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->triggered) {
    return false;
  }
  state_->triggered = true;
  state_->condition.notify_all();
  return true;
}


bool Latch::await(const Duration& duration)
{
  if (duration < Duration::zero()) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->condition.wait(lock, [this]() { return state_->triggered; });
    return true;
  }

  // This wait's own expiry, guarded by the state's mutex.
  std::shared_ptr<State> state = state_;
  std::shared_ptr<bool> expired = std::make_shared<bool>(false);

  const Timer timer = Clock::timer(duration, [state, expired]() {
    std::lock_guard<std::mutex> lock(state->mutex);
    *expired = true;
    state->condition.notify_all();
  });

  bool triggered;
  {
    std::unique_lock<std::mutex> lock(state->mutex);
    state->condition.wait(
        lock, [&state, &expired]() { return state->triggered || *expired; });
    triggered = state->triggered;
  }

  Clock::cancel(timer);
  return triggered;
}

} // namespace process {
