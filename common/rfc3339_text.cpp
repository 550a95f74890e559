#include "common/rfc3339_text.hpp"

#include <stdint.h>
#include <time.h>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

#include "common/audit_text.hpp"

namespace corvanta {
namespace audit {

namespace {

// The last second of the year 9999: later times need more than four
// digits for their year, and are left to the stream formatter.
constexpr int64_t LAST_FOUR_DIGIT_SECOND = 253402300799;

} // namespace {


void appendTimestamp(
    std::string* line, const process::Time& time, char separator)
{
  const time_t secs = static_cast<time_t>(time.secs());
  const int64_t nanos = (time.duration() - Seconds(secs)).ns();

  if (secs < 0 || secs > LAST_FOUR_DIGIT_SECOND || nanos < 0 ||
      nanos >= 1000000000) {
    const size_t start = line->size();
    *line += stringify(process::RFC3339(time));
    const size_t space = line->find(' ', start);
    if (space != std::string::npos) {
      (*line)[space] = separator;
    }
    return;
  }

  // Civil date from days since 1970-01-01 in the proleptic Gregorian
  // calendar, counted in 400-year eras starting on March 1st.
  const int64_t days = secs / 86400;
  const int64_t second = secs % 86400;

  const int64_t shifted = days + 719468;
  const int64_t era = shifted / 146097;
  const int64_t dayOfEra = shifted - era * 146097;
  const int64_t yearOfEra =
    (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear =
    dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const int64_t month =
    monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

  appendDigits(line, static_cast<uint64_t>(year), 4);
  line->push_back('-');
  appendDigits(line, static_cast<uint64_t>(month), 2);
  line->push_back('-');
  appendDigits(line, static_cast<uint64_t>(day), 2);
  line->push_back(separator);
  appendDigits(line, static_cast<uint64_t>(second / 3600), 2);
  line->push_back(':');
  appendDigits(line, static_cast<uint64_t>(second / 60 % 60), 2);
  line->push_back(':');
  appendDigits(line, static_cast<uint64_t>(second % 60), 2);

  if (nanos != 0) {
    line->push_back('.');
    appendDigits(line, static_cast<uint64_t>(nanos), 9);
  }

  line->append("+00:00");
}

} // namespace audit {
} // namespace corvanta {
