// Audit records with hostile values: any bytes in the uid, action, object,
// reason and agent (fields of the input split at "\x01"). The line must
// read back as exactly the record written, one line, with no field that
// a value smuggled in. The same record in the JSON form must be one line
// of one JSON object with the same keys, every value a string, and each
// short value of well-formed UTF-8 exactly as written.

#include <cstddef>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <process/address.hpp>
#include <process/clock.hpp>

#include <stout/json.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>

#include "common/logfmt.hpp"

#include "fuzz/fuzz_support.hpp"
#include "support/audit_records.hpp"

using namespace ovra_test;

using corvanta::LogFmt;

namespace {

class LastLine : public google::LogSink
{
public:
  void send(
      google::LogSeverity,
      const char*,
      const char*,
      int,
      const struct ::tm*,
      const char* message,
      size_t length) override
  {
    line.assign(message, length);
  }

  std::string line;
};

LastLine* sink = nullptr;


// A quoted value as written, back to the bytes it stands for.
std::string unquote(const std::string& quoted)
{
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') {
    fuzz::fail("a value is not quoted: " + quoted);
  }
  std::string value;
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 2 < quoted.size()) {
      ++i;
      value.push_back(quoted[i] == 'n' ? '\n' : quoted[i]);
    } else {
      value.push_back(quoted[i]);
    }
  }
  return value;
}


// Whether `written` is `value` as a record holds it: whole, or, past
// `limit` bytes, cut at most there (before a continuation byte, so never
// inside a character) and followed by the marker of its size.
bool readsBack(
    const std::string& written,
    const std::string& value,
    size_t limit)
{
  if (value.size() <= limit) {
    return written == value;
  }
  const std::string marker =
      "... (" + std::to_string(value.size()) + " bytes in all)";
  if (written.size() < marker.size() ||
      written.compare(written.size() - marker.size(), marker.size(), marker) !=
          0) {
    return false;
  }
  const size_t kept = written.size() - marker.size();
  return kept <= limit && value.compare(0, kept, written, 0, kept) == 0;
}


void expect(
    const audit_records::Record& record,
    const std::string& key,
    const Option<std::string>& value,
    size_t limit)
{
  auto found = record.find(key);
  if (value.isNone()) {
    if (found != record.end()) {
      fuzz::fail("field '" + key + "' appeared from nowhere");
    }
    return;
  }
  if (found == record.end() ||
      !readsBack(unquote(found->second), value.get(), limit)) {
    fuzz::fail("field '" + key + "' does not read back as written");
  }
}

// U+FFFD, which the JSON form writes for bytes that are not UTF-8.
constexpr char REPLACEMENT[] = "\xEF\xBF\xBD";

// Values this short are never cut, even with every byte escaped.
constexpr size_t UNCUT = 300;


void expectTwin(
    const JSON::Object& object,
    const std::string& key,
    const Option<std::string>& value)
{
  auto found = object.values.find(key);
  if (value.isNone()) {
    if (found != object.values.end()) {
      fuzz::fail("JSON field '" + key + "' appeared from nowhere");
    }
    return;
  }
  if (found == object.values.end() || !found->second.is<JSON::String>()) {
    fuzz::fail("JSON field '" + key + "' is missing or not a string");
  }
  const std::string& written = found->second.as<JSON::String>().value;
  if (value->size() <= UNCUT &&
      written.find(REPLACEMENT) == std::string::npos &&
      written != value.get()) {
    fuzz::fail("JSON field '" + key + "' does not read back as written");
  }
}


void log(
    LogFmt::Format format,
    const Option<std::string>& uid,
    const std::vector<std::string>& parts,
    const Option<std::string>& reason,
    const Option<std::string>& agent)
{
  LogFmt(LogFmt::Audit::ENABLED, format)
      .log(
          process::Clock::now(),
          LogFmt::Authorizer::MESOS_MASTER,
          uid,
          parts[1],
          parts[2],
          LogFmt::Result::DENY,
          reason,
          None(),
          None(),
          agent);
}

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  sink = new LastLine();
  google::AddLogSink(sink);
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  std::vector<std::string> parts =
      strings::split(fuzz::text(data, size), "\x01");
  parts.resize(5);
  auto optional = [&parts](size_t i) -> Option<std::string> {
    if (parts[i].empty() || parts[i] == "-") {
      return None();
    }
    return parts[i];
  };

  const Option<std::string> uid = optional(0);
  const Option<std::string> reason = optional(3);
  const Option<std::string> agent = optional(4);

  sink->line.clear();
  log(LogFmt::Format::LOGFMT, uid, parts, reason, agent);

  const std::string line = sink->line;
  if (line.find('\n') != std::string::npos) {
    fuzz::fail("a record spans more than one line");
  }

  const audit_records::Record record = audit_records::parse(line);
  if (record.size() !=
      6 + (uid.isSome() ? 1 : 0) + (reason.isSome() ? 1 : 0) +
          (agent.isSome() ? 1 : 0)) {
    fuzz::fail("the record has other fields than were written: " + line);
  }
  if (record.count("type") == 0 || record.at("type") != "audit" ||
      record.count("result") == 0 || record.at("result") != "deny") {
    fuzz::fail("the record's fixed fields were overwritten: " + line);
  }
  // The cut sizes of the free-text values: a KiB for names, 4 KiB for the
  // object and the reason.
  expect(record, "uid", uid, 1024);
  expect(record, "action", parts[1], 1024);
  expect(record, "object", parts[2], 4096);
  expect(record, "reason", reason, 4096);
  expect(record, "agent", agent, 1024);

  sink->line.clear();
  log(LogFmt::Format::JSON, uid, parts, reason, agent);
  if (sink->line.find('\n') != std::string::npos) {
    fuzz::fail("a JSON record spans more than one line");
  }
  const Try<JSON::Object> object = JSON::parse<JSON::Object>(sink->line);
  if (object.isError()) {
    fuzz::fail("a JSON record does not parse: " + object.error());
  }
  if (object->values.size() != record.size()) {
    fuzz::fail("the JSON record has other keys than its twin: " + sink->line);
  }
  for (const auto& [key, value] : record) {
    if (object->values.count(key) == 0) {
      fuzz::fail("the JSON record lacks '" + key + "': " + sink->line);
    }
  }
  expectTwin(object.get(), "uid", uid);
  expectTwin(object.get(), "action", parts[1]);
  expectTwin(object.get(), "object", parts[2]);
  expectTwin(object.get(), "reason", reason);
  expectTwin(object.get(), "agent", agent);
  return 0;
}
