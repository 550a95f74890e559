#include <time.h>

#include <iomanip>
#include <ostream>

#include <glog/logging.h>

#include <process/time.hpp>

namespace process {

std::ostream& operator<<(std::ostream& stream, const RFC3339& formatter)
{
  const time_t secs = static_cast<time_t>(formatter.time_.secs());

  tm utc = {};
  if (::gmtime_r(&secs, &utc) == nullptr) {
    LOG(ERROR) << "Failed to convert " << secs << " seconds to a UTC time";
    return stream;
  }

  char buffer[64] = {};
  ::strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &utc);
  stream << buffer;

  const int64_t nanos = (formatter.time_.duration() - Seconds(secs)).ns();
  if (nanos != 0) {
    const char fill = stream.fill();
    stream << "." << std::setfill('0') << std::setw(9) << nanos;
    stream.fill(fill);
  }

  return stream << "+00:00";
}


std::ostream& operator<<(std::ostream& stream, const Time& time)
{
  return stream << RFC3339(time);
}

} // namespace process {
