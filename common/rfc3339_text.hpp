#ifndef __COMMON_RFC3339_TEXT_HPP__
#define __COMMON_RFC3339_TEXT_HPP__

#include <string>

#include <process/time.hpp>

namespace corvanta {
namespace audit {

// Appends `time` exactly as process::RFC3339 writes it, "YYYY-MM-DD
// HH:MM:SS[.nnnnnnnnn]+00:00" in UTC, with `separator` between the date
// and the time: the formatter's space, or the "T" that strict RFC 3339
// readers expect. It is written without a stream, a locale or the C
// library's time-zone lock. The seconds and the fraction are taken as the
// formatter takes them; a time it would write in another form (before the
// epoch, after the year 9999, or a fraction outside one second) is written
// by the formatter itself.
void appendTimestamp(
    std::string* line, const process::Time& time, char separator);

} // namespace audit {
} // namespace corvanta {

#endif // __COMMON_RFC3339_TEXT_HPP__
