#include "common/logfmt.hpp"

#include <netinet/in.h>
#include <stdint.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include <glog/logging.h>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

using process::network::Address;

namespace corvanta {

namespace {

// The fields of a record, in the order in which a record has always
// collected them into its hash map (see `layout`).
enum Field : uint8_t
{
  TYPE,
  TIMESTAMP,
  AUTHORIZER,
  UID,
  ACTION,
  OBJECT,
  RESULT,
  REASON,
  SRCIP,
  SRCPORT,
  DSTIP,
  DSTPORT,
  AGENT,
  FIELDS,
};

const char* const KEYS[FIELDS] = {
  "type", "timestamp", "authorizer", "uid", "action", "object", "result",
  "reason", "srcip", "srcport", "dstip", "dstport", "agent",
};


// The optional parts of a record, as bits of a mask. An address part
// stands for both its IP and its port.
enum Part : unsigned
{
  UID_PART = 1u << 0,
  REASON_PART = 1u << 1,
  SOURCE_PART = 1u << 2,
  DESTINATION_PART = 1u << 3,
  AGENT_PART = 1u << 4,
  PARTS = 1u << 5,
};


bool present(Field field, unsigned parts)
{
  switch (field) {
    case UID: return (parts & UID_PART) != 0;
    case REASON: return (parts & REASON_PART) != 0;
    case SRCIP:
    case SRCPORT: return (parts & SOURCE_PART) != 0;
    case DSTIP:
    case DSTPORT: return (parts & DESTINATION_PART) != 0;
    case AGENT: return (parts & AGENT_PART) != 0;
    default: return true;
  }
}


// The fields of a record with some set of optional parts, in the order in
// which they are written.
struct Layout
{
  uint8_t count = 0;
  Field fields[FIELDS] = {};
};


// Records have always been written in the iteration order of a
// std::unordered_map<std::string, std::string> with a bucket hint of 10,
// filled in the order of `Field`. That order depends only on which keys
// are present, so it is read once per set of parts from such a map, and
// lines are then written straight in that order.
std::array<Layout, PARTS> layouts()
{
  std::array<Layout, PARTS> result;
  for (unsigned parts = 0; parts < PARTS; ++parts) {
    std::unordered_map<std::string, std::string> record(10);
    for (uint8_t field = 0; field < FIELDS; ++field) {
      if (present(static_cast<Field>(field), parts)) {
        record[KEYS[field]];
      }
    }

    Layout& layout = result[parts];
    for (const auto& entry : record) {
      for (uint8_t field = 0; field < FIELDS; ++field) {
        if (entry.first == KEYS[field]) {
          layout.fields[layout.count++] = static_cast<Field>(field);
          break;
        }
      }
    }
  }
  return result;
}


const Layout& layout(unsigned parts)
{
  static const std::array<Layout, PARTS> table = layouts();
  return table[parts];
}


void appendDigits(std::string* line, uint64_t value, int width)
{
  char digits[20];
  int length = 0;
  do {
    digits[length++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 || length < width);
  while (length > 0) {
    line->push_back(digits[--length]);
  }
}


// How much of each free-text value a record holds: glog cuts a message at
// 30,000 bytes, and a record must keep every key whatever its values. With
// every byte escaped the values of a record take at most 2 * (4 + 4 + 3 *
// 1) KiB, well within that. A longer value is cut, with a marker giving its
// size ("... (<size> bytes in all)").
constexpr size_t MAX_OBJECT = 4096;
constexpr size_t MAX_REASON = 4096;
constexpr size_t MAX_NAME = 1024;


// Appends a logfmt value in double quotes: backslashes, line feeds and
// double quotes are escaped; every other byte passes unchanged. Only the
// first `limit` bytes are written, then the marker of a cut value.
void appendQuoted(std::string* line, const std::string& value, size_t limit)
{
  size_t end = std::min(value.size(), limit);
  // Not inside a UTF-8 character.
  while (end > 0 && end < value.size() &&
         (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
    --end;
  }

  line->push_back('"');
  size_t start = 0;
  while (start < end) {
    size_t special = value.find_first_of("\\\n\"", start);
    if (special == std::string::npos || special >= end) {
      line->append(value, start, end - start);
      break;
    }
    line->append(value, start, special - start);
    line->push_back('\\');
    line->push_back(value[special] == '\n' ? 'n' : value[special]);
    start = special + 1;
  }
  if (end < value.size()) {
    line->append("... (");
    appendDigits(line, value.size(), 1);
    line->append(" bytes in all)");
  }
  line->push_back('"');
}


// The last second of the year 9999: later times need more than four
// digits for their year, and are left to the stream formatter.
constexpr int64_t LAST_FOUR_DIGIT_SECOND = 253402300799;


// Appends `time` exactly as process::RFC3339 writes it, "YYYY-MM-DD
// HH:MM:SS[.nnnnnnnnn]+00:00" in UTC, without a stream, a locale or the C
// library's time-zone lock. The seconds and the fraction are taken as the
// formatter takes them; a time it would write in another form (before the
// epoch, after the year 9999, or a fraction outside one second) is written
// by the formatter itself.
void appendTimestamp(std::string* line, const process::Time& time)
{
  const time_t secs = static_cast<time_t>(time.secs());
  const int64_t nanos = (time.duration() - Seconds(secs)).ns();

  if (secs < 0 || secs > LAST_FOUR_DIGIT_SECOND || nanos < 0 ||
      nanos >= 1000000000) {
    *line += stringify(process::RFC3339(time));
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
  line->push_back(' ');
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


// The IPv4 address of a socket address, if it is one; addresses of other
// families are left out of the record.
bool inet(const Option<Address>& address, sockaddr_in* in)
{
  if (address.isNone() || address->family() != Address::Family::INET) {
    return false;
  }
  const sockaddr_storage storage = address.get();
  memcpy(in, &storage, sizeof(*in));
  return true;
}


// Dotted decimal, as inet_ntop writes an IPv4 address.
void appendIp(std::string* line, const sockaddr_in& in)
{
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&in.sin_addr.s_addr);
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      line->push_back('.');
    }
    appendDigits(line, bytes[i], 1);
  }
}


const char* text(LogFmt::Authorizer authorizer)
{
  switch (authorizer) {
    case LogFmt::Authorizer::MESOS_MASTER: return "mesos-master";
    case LogFmt::Authorizer::MESOS_AGENT: return "mesos-agent";
    case LogFmt::Authorizer::MESOS_SECRETS:
      return "mesos secrets hook/isolator";
  }
  return "";
}


const char* text(LogFmt::Result result)
{
  switch (result) {
    case LogFmt::Result::ALLOW: return "allow";
    case LogFmt::Result::DENY: return "deny";
  }
  return "";
}

} // namespace {


void LogFmt::log(
    const process::Time& timestamp,
    Authorizer authorizer,
    const Option<std::string>& uid,
    const std::string& action,
    const std::string& object,
    Result result,
    const Option<std::string>& reason,
    const Option<Address>& source,
    const Option<Address>& destination,
    const Option<std::string>& agent) const
{
  if (!enabled()) {
    return;
  }

  sockaddr_in src = {};
  sockaddr_in dst = {};

  unsigned parts = 0;
  size_t size = 200 + std::min(action.size(), MAX_NAME) +
                std::min(object.size(), MAX_OBJECT);
  if (uid.isSome()) {
    parts |= UID_PART;
    size += std::min(uid->size(), MAX_NAME);
  }
  if (reason.isSome()) {
    parts |= REASON_PART;
    size += std::min(reason->size(), MAX_REASON);
  }
  if (inet(source, &src)) {
    parts |= SOURCE_PART;
  }
  if (inet(destination, &dst)) {
    parts |= DESTINATION_PART;
  }
  if (agent.isSome()) {
    parts |= AGENT_PART;
    size += std::min(agent->size(), MAX_NAME);
  }

  std::string line;
  line.reserve(size);

  const Layout& fields = layout(parts);
  for (uint8_t i = 0; i < fields.count; ++i) {
    const Field field = fields.fields[i];
    if (i > 0) {
      line.push_back(' ');
    }
    line.append(KEYS[field]);
    line.push_back('=');

    switch (field) {
      case TYPE: line.append("audit"); break;
      case TIMESTAMP: appendTimestamp(&line, timestamp); break;
      case AUTHORIZER: {
        const char* name = text(authorizer);
        line.push_back('"');
        line.append(name);
        line.push_back('"');
        break;
      }
      case UID: appendQuoted(&line, uid.get(), MAX_NAME); break;
      case ACTION: appendQuoted(&line, action, MAX_NAME); break;
      case OBJECT: appendQuoted(&line, object, MAX_OBJECT); break;
      case RESULT: line.append(text(result)); break;
      case REASON: appendQuoted(&line, reason.get(), MAX_REASON); break;
      case SRCIP: appendIp(&line, src); break;
      case SRCPORT: appendDigits(&line, ntohs(src.sin_port), 1); break;
      case DSTIP: appendIp(&line, dst); break;
      case DSTPORT: appendDigits(&line, ntohs(dst.sin_port), 1); break;
      case AGENT: appendQuoted(&line, agent.get(), MAX_NAME); break;
      case FIELDS: break;
    }
  }

  LOG(INFO) << line;
}

} // namespace corvanta {
