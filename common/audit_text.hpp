#ifndef __COMMON_AUDIT_TEXT_HPP__
#define __COMMON_AUDIT_TEXT_HPP__

// The values of an audit record as text: numbers, logfmt's quoted values
// and JSON strings, each appended to the line being built. A free-text
// value longer than its limit is cut, not inside a UTF-8 character, and
// ends in the marker "... (<size> bytes in all)"; both forms cut a value
// at the same place.

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace corvanta {
namespace audit {

// `value` in decimal, padded with zeros to at least `width` digits.
void appendDigits(std::string* line, uint64_t value, int width);


// A logfmt value in double quotes: backslashes, line feeds and double
// quotes are escaped; every other byte passes unchanged. Only the first
// `limit` bytes are written, then the marker of a cut value.
void appendQuoted(std::string* line, const std::string& value, size_t limit);


// A JSON string of the same value the logfmt form writes: cut at the same
// place, with the same marker. Quotes, backslashes and control characters
// are escaped; bytes that are not well-formed UTF-8 become U+FFFD, so that
// the line is valid JSON for any reader. Escapes can make a value six
// times its size: it is also cut once its escaped form reaches twice
// `limit`, which keeps a record within glog's limit on a message.
void appendJsonString(
    std::string* line, const std::string& value, size_t limit);

} // namespace audit {
} // namespace corvanta {

#endif // __COMMON_AUDIT_TEXT_HPP__
