// The JSON form of audit records: each record is its logfmt twin's keys and
// values, as one object read whole by a JSON parser, keys in a fixed
// order, valid JSON whatever the values hold, and whole within glog's limit
// on a message. The form is chosen by the `audit_format` flag.

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <picojson.h>

#include <process/address.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/audit_flags.hpp"
#include "common/logfmt.hpp"
#include "common/module_factory.hpp"

#include "support/audit_records.hpp"
#include "support/inet_address.hpp"
#include "support/log_capture.hpp"
#include "support/module_parameters.hpp"

using namespace ovra_test;

using addresses::inet;

using corvanta::LogFmt;

using process::Time;
using process::network::Address;

namespace {

// 2023-11-14 22:13:20 UTC.
const Time RECORD_TIME = Time::epoch() + Seconds(1700000000);

// glog cuts a message at 30,000 bytes.
constexpr size_t GLOG_MESSAGE_LIMIT = 30000;


// What one call of log() is given.
struct Call
{
  Time timestamp;
  LogFmt::Authorizer authorizer;
  Option<std::string> uid;
  std::string action;
  std::string object;
  LogFmt::Result result;
  Option<std::string> reason;
  Option<Address> source;
  Option<Address> destination;
  Option<std::string> agent;
};


// The one INFO line that `writer` logs for `call`.
std::string line(const LogFmt& writer, const Call& call)
{
  LogCapture capture;
  writer.log(
      call.timestamp,
      call.authorizer,
      call.uid,
      call.action,
      call.object,
      call.result,
      call.reason,
      call.source,
      call.destination,
      call.agent);
  const std::vector<std::string> lines = capture.texts(google::GLOG_INFO);
  EXPECT_EQ(1u, lines.size());
  return lines.empty() ? "" : lines.front();
}


// A logfmt value as text: the quotes taken off and the three escapes
// undone.
std::string unquote(const std::string& value)
{
  if (value.size() < 2 || value.front() != '"') {
    return value;
  }
  std::string result;
  for (size_t i = 1; i + 1 < value.size(); ++i) {
    if (value[i] == '\\' && i + 2 < value.size()) {
      ++i;
      result += value[i] == 'n' ? '\n' : value[i];
    } else {
      result += value[i];
    }
  }
  return result;
}


// The record of a JSON line, with its keys in the order written; an error
// if the line is not one JSON object of strings.
Try<std::vector<std::pair<std::string, std::string>>> parseJson(
    const std::string& line)
{
  picojson::value value;
  const std::string error = picojson::parse(value, line);
  if (!error.empty()) {
    return Error(error);
  }
  if (!value.is<picojson::object>()) {
    return Error("not an object");
  }

  // picojson keeps an object in a map: the order is read from the text.
  std::vector<std::pair<size_t, std::string>> positions;
  for (const auto& [key, field] : value.get<picojson::object>()) {
    if (!field.is<std::string>()) {
      return Error("'" + key + "' is not a string");
    }
    positions.emplace_back(line.find("\"" + key + "\":"), key);
  }
  std::sort(positions.begin(), positions.end());

  std::vector<std::pair<std::string, std::string>> result;
  for (const auto& [position, key] : positions) {
    result.emplace_back(
        key, value.get<picojson::object>().at(key).get<std::string>());
  }
  return result;
}


const LogFmt LOGFMT{LogFmt::Audit::ENABLED, LogFmt::Format::LOGFMT};
const LogFmt JSON_FORM{LogFmt::Audit::ENABLED, LogFmt::Format::JSON};

const std::vector<std::string> KEY_ORDER = {
    "type",
    "timestamp",
    "authorizer",
    "uid",
    "action",
    "object",
    "result",
    "reason",
    "srcip",
    "srcport",
    "dstip",
    "dstport",
    "agent",
};

} // namespace {


// Every combination of optional fields, with values that need escapes in
// one form or both: the JSON record holds exactly the keys of its logfmt
// twin, in the fixed order, with the same values (the timestamp with a "T").
TEST(AuditJsonTest, RecordsAreTheirLogfmtTwinsInOrder)
{
  const std::vector<std::string> texts = {
      "",
      "plain",
      "a\\b\"c\n",
      "cr\rtab\t",
      "caf\xc3\xa9",
      "k=v other=x",
      std::string(5000, 'x') + "tail",
  };

  size_t checked = 0;
  for (unsigned parts = 0; parts < 32; ++parts) {
    for (const std::string& text : texts) {
      const Call call{
          RECORD_TIME + Milliseconds(parts * 7),
          parts % 2 ? LogFmt::Authorizer::MESOS_MASTER
                    : LogFmt::Authorizer::MESOS_SECRETS,
          parts & 1 ? Option<std::string>("uid " + text) : None(),
          "action " + text,
          text,
          parts % 3 ? LogFmt::Result::ALLOW : LogFmt::Result::DENY,
          parts & 2 ? Option<std::string>(text) : None(),
          parts & 4 ? Option<Address>(inet("10.0.0.1", 5050)) : None(),
          parts & 8 ? Option<Address>(inet("192.168.1.20", 80)) : None(),
          parts & 16 ? Option<std::string>(text + " agent") : None(),
      };

      const std::string json = line(JSON_FORM, call);
      auto record = parseJson(json);
      ASSERT_FALSE(record.isError()) << record.error() << json;

      audit_records::Record twin = audit_records::parse(line(LOGFMT, call));
      std::map<std::string, std::string> expected;
      for (const auto& [key, value] : twin) {
        expected[key] = unquote(value);
      }
      expected["timestamp"].replace(10, 1, "T");

      std::map<std::string, std::string> actual;
      std::vector<std::string> order;
      for (const auto& [key, value] : record.get()) {
        actual[key] = value;
        order.push_back(key);
      }
      EXPECT_EQ(expected, actual) << json;

      std::vector<std::string> fixed;
      for (const std::string& key : KEY_ORDER) {
        if (actual.count(key) > 0) {
          fixed.push_back(key);
        }
      }
      EXPECT_EQ(fixed, order) << json;
      ++checked;
    }
  }
  EXPECT_EQ(32u * texts.size(), checked);
}


TEST(AuditJsonTest, ExactLine)
{
  const Call call{
      RECORD_TIME + Milliseconds(40),
      LogFmt::Authorizer::MESOS_AGENT,
      std::string("alice"),
      "POST",
      "/slave(1)/api",
      LogFmt::Result::DENY,
      std::string("Token \"expired\""),
      inet("10.0.0.1", 5050),
      inet("192.168.1.20", 80),
      std::string("curl/7.88"),
  };

  EXPECT_EQ(
      "{\"type\":\"audit\","
      "\"timestamp\":\"2023-11-14T22:13:20.040000000+00:00\","
      "\"authorizer\":\"mesos-agent\",\"uid\":\"alice\","
      "\"action\":\"POST\",\"object\":\"/slave(1)/api\","
      "\"result\":\"deny\",\"reason\":\"Token \\\"expired\\\"\","
      "\"srcip\":\"10.0.0.1\",\"srcport\":\"5050\","
      "\"dstip\":\"192.168.1.20\",\"dstport\":\"80\","
      "\"agent\":\"curl/7.88\"}",
      line(JSON_FORM, call));
}


// Control characters are escaped, and bytes that are not well-formed UTF-8
// (which a JSON reader would refuse) become U+FFFD; well-formed characters
// of every length pass as they are.
TEST(AuditJsonTest, EveryValueIsValidJson)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\x01\x1f\x7f", "\"\\u0001\\u001f\x7f\""},
      {"\b\f", "\"\\u0008\\u000c\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\x91\""},
      {"\xff", "\"\\ufffd\""},
      {"\xc3", "\"\\ufffd\""}, // Cut short.
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""}, // Overlong "/".
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""}, // A surrogate.
      {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""}, // > U+10FFFF.
      {"\x80x", "\"\\ufffdx\""},
  };

  for (const auto& [value, expected] : cases) {
    const Call call{
        RECORD_TIME,
        LogFmt::Authorizer::MESOS_MASTER,
        None(),
        "GET",
        value,
        LogFmt::Result::ALLOW,
        None(),
        None(),
        None(),
        None(),
    };
    const std::string json = line(JSON_FORM, call);
    const size_t start = json.find("\"object\":") + 9;
    EXPECT_EQ(expected, json.substr(start, json.find(",\"result\"") - start))
        << json;
    EXPECT_FALSE(parseJson(json).isError()) << json;
  }
}


// Values of control characters grow sixfold when escaped: the record is
// still one whole object within glog's limit, every key kept, each long
// value cut with the marker of its size.
TEST(AuditJsonTest, EscapeHeavyRecordsStayWhole)
{
  const std::string controls(1 << 20, '\x01');
  const Call call{
      RECORD_TIME,
      LogFmt::Authorizer::MESOS_MASTER,
      controls,
      controls,
      controls,
      LogFmt::Result::DENY,
      controls,
      inet("10.0.0.1", 1),
      inet("10.0.0.2", 2),
      controls,
  };

  const std::string json = line(JSON_FORM, call);
  EXPECT_LT(json.size(), GLOG_MESSAGE_LIMIT);
  auto record = parseJson(json);
  ASSERT_FALSE(record.isError()) << record.error();
  EXPECT_EQ(13u, record->size());
  for (const auto& [key, value] : record.get()) {
    if (key == "uid" || key == "action" || key == "object" || key == "reason" ||
        key == "agent") {
      EXPECT_NE(std::string::npos, value.find("... (1048576 bytes in all)"))
          << key;
    }
  }
}


// The flag: logfmt unless "json" is asked for; any other value is refused
// at load, so a typo cannot go unnoticed.
TEST(AuditJsonTest, AuditFormatFlag)
{
  const Call call{
      RECORD_TIME,
      LogFmt::Authorizer::MESOS_MASTER,
      None(),
      "GET",
      "/",
      LogFmt::Result::ALLOW,
      None(),
      None(),
      None(),
      None(),
  };

  corvanta::AuditLogFlags defaults;
  EXPECT_EQ("logfmt", defaults.audit_format);
  EXPECT_NE('{', line(corvanta::auditLog(defaults), call).front());

  corvanta::AuditLogFlags json;
  ASSERT_FALSE(
      corvanta::loadModuleFlags(&json, parameters({{"audit_format", "json"}}))
          .isError());
  EXPECT_EQ('{', line(corvanta::auditLog(json), call).front());

  corvanta::AuditLogFlags typo;
  Try<Nothing> load =
      corvanta::loadModuleFlags(&typo, parameters({{"audit_format", "JSON"}}));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to parse parameters: 'audit_format' must be 'logfmt' or "
      "'json', not 'JSON'",
      load.error());
}
