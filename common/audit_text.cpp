#include "common/audit_text.hpp"

#include <algorithm>

namespace corvanta {
namespace audit {

namespace {

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

} // namespace {


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

} // namespace audit {
} // namespace corvanta {
