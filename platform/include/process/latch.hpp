#ifndef __PROCESS_LATCH_HPP__
#define __PROCESS_LATCH_HPP__

#include <memory>

#include <stout/duration.hpp>

namespace process {

// A one-shot gate that threads block on until it is triggered.
class Latch
{
public:
  Latch();

  Latch(const Latch&) = delete;
  Latch& operator=(const Latch&) = delete;

  // Opens the gate; returns false if it was open already.
  bool trigger();

  // Blocks until triggered or until `duration` has passed; a negative
  // duration waits for ever. As in libprocess, the limit is a timer on
  // libprocess's clock: while the clock is paused it ends only when the
  // clock is advanced past it. Returns whether the latch was triggered.
  bool await(const Duration& duration = Seconds(-1));

private:
  struct State;
  std::shared_ptr<State> state_;
};

} // namespace process {

#endif // __PROCESS_LATCH_HPP__
