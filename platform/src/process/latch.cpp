#include <chrono>

#include <process/latch.hpp>

namespace process {

bool Latch::trigger()
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (triggered_) {
    return false;
  }
  triggered_ = true;
  condition_.notify_all();
  return true;
}


bool Latch::await(const Duration& duration)
{
  std::unique_lock<std::mutex> lock(mutex_);
  if (duration < Duration::zero()) {
    condition_.wait(lock, [this]() { return triggered_; });
    return true;
  }
  return condition_.wait_for(
      lock,
      std::chrono::nanoseconds(duration.ns()),
      [this]() { return triggered_; });
}

} // namespace process {
