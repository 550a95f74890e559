#ifndef __TOOLS_OVRA_HOST_LOG_THROTTLE_HPP__
#define __TOOLS_OVRA_HOST_LOG_THROTTLE_HPP__

// Which lines of a stream of like log lines to write, so that a peer that
// repeats a message cannot grow the log faster than a line per interval:
// the first `burst` lines, then at most one per `interval`, each saying how
// many were left out before it.

#include <stddef.h>

#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

namespace ovra_host {

class LogThrottle
{
public:
  LogThrottle(size_t burst, const Duration& interval)
    : burst_(burst), interval_(interval) {}

  // None: leave this line out. Else write it, with the number of lines
  // left out since the last one written.
  Option<size_t> admit(const process::Time& now)
  {
    if (written_ < burst_ ||
        (last_.isSome() && now >= last_.get() + interval_)) {
      ++written_;
      last_ = now;
      const size_t skipped = skipped_;
      skipped_ = 0;
      return skipped;
    }
    ++skipped_;
    return None();
  }

private:
  const size_t burst_;
  const Duration interval_;
  size_t written_ = 0;
  size_t skipped_ = 0;
  Option<process::Time> last_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_LOG_THROTTLE_HPP__
