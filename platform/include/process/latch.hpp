#ifndef __PROCESS_LATCH_HPP__
#define __PROCESS_LATCH_HPP__

#include <condition_variable>
#include <mutex>

#include <stout/duration.hpp>

namespace process {

// A one-shot gate that threads block on until it is triggered.
class Latch
{
public:
  Latch() : triggered_(false) {}

  Latch(const Latch&) = delete;
  Latch& operator=(const Latch&) = delete;

  // Opens the gate; returns false if it was open already.
  bool trigger();

  // Blocks until triggered or until `duration` has passed; a negative
  // duration waits for ever. The wait is in real time, not on the
  // libprocess clock, so pausing the clock neither stops nor ends it.
  // Returns whether the latch was triggered.
  bool await(const Duration& duration = Seconds(-1));

private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool triggered_;
};

} // namespace process {

#endif // __PROCESS_LATCH_HPP__
