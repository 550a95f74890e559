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


// Where a value is cut: after at most `limit` bytes, and not inside a
// UTF-8 character. Both forms cut a value at the same place.
size_t cut(const std::string& value, size_t limit)
{
  size_t end = std::min(value.size(), limit);
  while (end > 0 && end < value.size() &&
         (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) {
    --end;
  }
  return end;
}


void appendCutMarker(std::string* line, const std::string& value)
{
  line->append("... (");
  appendDigits(line, value.size(), 1);
  line->append(" bytes in all)");
}


// Appends a logfmt value in double quotes: backslashes, line feeds and
// double quotes are escaped; every other byte passes unchanged. Only the
// first `limit` bytes are written, then the marker of a cut value.
void appendQuoted(std::string* line, const std::string& value, size_t limit)
{
  const size_t end = cut(value, limit);

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
    appendCutMarker(line, value);
  }
  line->push_back('"');
}


// The length of the well-formed UTF-8 character that starts `value` at
// `at`, or 0 if the bytes there are not one (a stray continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF, or a character
// cut short by `end`).
size_t utf8Length(const std::string& value, size_t at, size_t end)
{
  const auto byte = [&](size_t i) {
    return static_cast<unsigned char>(value[i]);
  };
  const unsigned char lead = byte(at);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (end - at < length || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
      return 0;
    }
  }
  return length;
}


// Appends a JSON string of the same value the logfmt form writes: cut at
// the same place, with the same marker. Quotes, backslashes and control
// characters are escaped; bytes that are not well-formed UTF-8 become
// U+FFFD, so that the line is valid JSON for any reader. Escapes can make a
// value six times its size: it is also cut once its escaped form reaches
// twice `limit`, which keeps a record within glog's limit on a message.
void appendJsonString(
    std::string* line, const std::string& value, size_t limit)
{
  static const char HEX[] = "0123456789abcdef";
  const size_t end = cut(value, limit);
  const size_t budget = line->size() + 2 * limit;

  line->push_back('"');
  size_t at = 0;
  while (at < end && line->size() < budget) {
    const unsigned char c = static_cast<unsigned char>(value[at]);
    if (c >= 0x80) {
      const size_t length = utf8Length(value, at, end);
      if (length == 0) {
        line->append("\\ufffd");
        ++at;
      } else {
        line->append(value, at, length);
        at += length;
      }
      continue;
    }
    switch (c) {
      case '"': line->append("\\\""); break;
      case '\\': line->append("\\\\"); break;
      case '\n': line->append("\\n"); break;
      case '\r': line->append("\\r"); break;
      case '\t': line->append("\\t"); break;
      default:
        if (c < 0x20) {
          line->append("\\u00");
          line->push_back(HEX[c >> 4]);
          line->push_back(HEX[c & 0xF]);
        } else {
          line->push_back(static_cast<char>(c));
        }
    }
    ++at;
  }
  if (at < value.size()) {
    appendCutMarker(line, value);
  }
  line->push_back('"');
}


// The last second of the year 9999: later times need more than four
// digits for their year, and are left to the stream formatter.
constexpr int64_t LAST_FOUR_DIGIT_SECOND = 253402300799;


// Appends `time` exactly as process::RFC3339 writes it, "YYYY-MM-DD
// HH:MM:SS[.nnnnnnnnn]+00:00" in UTC, with `separator` between the date
// and the time: the formatter's space, or the "T" that strict RFC 3339
// readers expect. It is written without a stream, a locale or the C
// library's time-zone lock. The seconds and the fraction are taken as the
// formatter takes them; a time it would write in another form (before the
// epoch, after the year 9999, or a fraction outside one second) is written
// by the formatter itself.
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

// What one record holds, as log() was given it: the optional parts are
// read only when `parts` has them.
struct Values
{
  const process::Time& timestamp;
  LogFmt::Authorizer authorizer;
  const Option<std::string>& uid;
  const std::string& action;
  const std::string& object;
  LogFmt::Result result;
  const Option<std::string>& reason;
  sockaddr_in src;
  sockaddr_in dst;
  const Option<std::string>& agent;
};


// Appends the value of one field. Free text goes through `quote`; the
// other values are written bare, and `separator` goes between the date and
// the time of the timestamp.
void appendValue(
    std::string* line,
    Field field,
    const Values& values,
    void (*quote)(std::string*, const std::string&, size_t),
    char separator)
{
  switch (field) {
    case TYPE: line->append("audit"); break;
    case TIMESTAMP: appendTimestamp(line, values.timestamp, separator); break;
    case AUTHORIZER: {
      line->push_back('"');
      line->append(text(values.authorizer));
      line->push_back('"');
      break;
    }
    case UID: quote(line, values.uid.get(), MAX_NAME); break;
    case ACTION: quote(line, values.action, MAX_NAME); break;
    case OBJECT: quote(line, values.object, MAX_OBJECT); break;
    case RESULT: line->append(text(values.result)); break;
    case REASON: quote(line, values.reason.get(), MAX_REASON); break;
    case SRCIP: appendIp(line, values.src); break;
    case SRCPORT: appendDigits(line, ntohs(values.src.sin_port), 1); break;
    case DSTIP: appendIp(line, values.dst); break;
    case DSTPORT: appendDigits(line, ntohs(values.dst.sin_port), 1); break;
    case AGENT: quote(line, values.agent.get(), MAX_NAME); break;
    case FIELDS: break;
  }
}


// key=value pairs separated by single spaces, in the order of the layout
// for the record's parts.
void appendLogfmt(std::string* line, unsigned parts, const Values& values)
{
  const Layout& fields = layout(parts);
  for (uint8_t i = 0; i < fields.count; ++i) {
    const Field field = fields.fields[i];
    if (i > 0) {
      line->push_back(' ');
    }
    line->append(KEYS[field]);
    line->push_back('=');
    appendValue(line, field, values, appendQuoted, ' ');
  }
}


// One JSON object, keys in the order of `Field`, every value a string. The
// values the logfmt form writes bare (and the authorizer, quoted there)
// hold no character that JSON escapes.
void appendJson(std::string* line, unsigned parts, const Values& values)
{
  line->push_back('{');
  bool first = true;
  for (uint8_t i = 0; i < FIELDS; ++i) {
    const Field field = static_cast<Field>(i);
    if (!present(field, parts)) {
      continue;
    }
    if (!first) {
      line->push_back(',');
    }
    first = false;
    line->push_back('"');
    line->append(KEYS[field]);
    line->append("\":");
    const bool quoted = field == AUTHORIZER || field == UID ||
                        field == ACTION || field == OBJECT ||
                        field == REASON || field == AGENT;
    if (!quoted) {
      line->push_back('"');
    }
    appendValue(line, field, values, appendJsonString, 'T');
    if (!quoted) {
      line->push_back('"');
    }
  }
  line->push_back('}');
}

} // namespace {


void LogFmt::write(const Record& record) const
{
  log(record.timestamp,
      record.authorizer,
      record.uid,
      record.action,
      record.object,
      record.result,
      record.reason,
      record.source,
      record.destination,
      record.agent);
}


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

  Values values{timestamp, authorizer, uid, action, object, result, reason,
                {}, {}, agent};

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
  if (inet(source, &values.src)) {
    parts |= SOURCE_PART;
  }
  if (inet(destination, &values.dst)) {
    parts |= DESTINATION_PART;
  }
  if (agent.isSome()) {
    parts |= AGENT_PART;
    size += std::min(agent->size(), MAX_NAME);
  }

  std::string line;
  line.reserve(size);
  if (format_ == Format::JSON) {
    appendJson(&line, parts, values);
  } else {
    appendLogfmt(&line, parts, values);
  }

  LOG(INFO) << line;
}

} // namespace corvanta {
