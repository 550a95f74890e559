#ifndef __TESTS_SUPPORT_AUDIT_RECORDS_HPP__
#define __TESTS_SUPPORT_AUDIT_RECORDS_HPP__

// Reading audit records back from captured log lines: the pairs of each
// "type=audit" line, with quoted values kept as written (quotes and
// escapes included), so tests compare them with the exact text.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/log_capture.hpp"

namespace ovra_test {
namespace audit_records {

typedef std::map<std::string, std::string> Record;


// The pairs of one logfmt line: blank-separated key=value, where a value
// that begins with a double quote runs to the matching unescaped quote, and
// a blank-separated piece without "=" continues the previous value (the
// timestamp holds a blank).
inline Record parse(const std::string& line)
{
  Record record;
  std::string last;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }

    const size_t blank = std::min(line.find(' ', i), line.size());
    const size_t equals = line.find('=', i);
    if (equals == std::string::npos || equals > blank) {
      if (!last.empty()) {
        record[last] += " " + line.substr(i, blank - i);
      }
      i = blank;
      continue;
    }

    const std::string key = line.substr(i, equals - i);
    size_t end = equals + 1;
    if (end < line.size() && line[end] == '"') {
      ++end;
      while (end < line.size() && line[end] != '"') {
        end += line[end] == '\\' ? 2 : 1;
      }
      end = std::min(end + 1, line.size());
    } else {
      end = std::min(line.find(' ', end), line.size());
    }
    record[key] = line.substr(equals + 1, end - equals - 1);
    last = key;
    i = end;
  }
  return record;
}


// The audit records among the INFO lines of `log`, in order.
inline std::vector<Record> records(const LogCapture& log)
{
  std::vector<Record> result;
  for (const std::string& text : log.texts(google::GLOG_INFO)) {
    Record record = parse(text);
    if (record.count("type") > 0 && record.at("type") == "audit") {
      result.push_back(record);
    }
  }
  return result;
}

} // namespace audit_records {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_AUDIT_RECORDS_HPP__
