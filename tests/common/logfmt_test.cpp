// Audit records: which keys a record holds, how values are quoted, that a
// disabled writer writes nothing, and that every line is byte for byte the
// line of the map-built reference, pair order and timestamp included.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <map>
#include <random>
#include <set>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <process/address.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"

#include "support/inet_address.hpp"
#include "support/log_capture.hpp"
#include "support/logfmt_reference.hpp"

using namespace ovra_test;

using addresses::inet;

using corvanta::LogFmt;

using process::Time;
using process::network::Address;

namespace {

// 2023-11-14 22:13:20 UTC.
const Time TIMESTAMP = Time::epoch() + Seconds(1700000000);


Address unixDomain(const std::string& path)
{
  sockaddr_storage storage = {};
  sockaddr_un* un = reinterpret_cast<sockaddr_un*>(&storage);
  un->sun_family = AF_UNIX;
  path.copy(un->sun_path, sizeof(un->sun_path) - 1);
  return Address::create(storage).get();
}


// The pairs of a record line. A value runs to the next blank outside
// double quotes; a blank-separated piece without "=" continues the value
// before it (the timestamp holds a blank).
std::map<std::string, std::string> pairs(const std::string& line)
{
  std::vector<std::string> pieces;
  std::string piece;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '\\' && quoted && i + 1 < line.size()) {
      piece += c;
      piece += line[++i];
    } else if (c == '"') {
      quoted = !quoted;
      piece += c;
    } else if (c == ' ' && !quoted) {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  pieces.push_back(piece);

  std::map<std::string, std::string> result;
  std::string last;
  for (const std::string& p : pieces) {
    const size_t equals = p.find('=');
    if (equals == std::string::npos || p[0] == '"') {
      result[last] += " " + p;
    } else {
      last = p.substr(0, equals);
      result[last] = p.substr(equals + 1);
    }
  }
  return result;
}


std::set<std::string> keys(const std::map<std::string, std::string>& pairs)
{
  std::set<std::string> result;
  for (const auto& pair : pairs) {
    result.insert(pair.first);
  }
  return result;
}


class LogFmtTest : public ::testing::Test
{
protected:
  // The one INFO line that `write` logs.
  template <typename Write>
  std::string line(Write write)
  {
    LogCapture capture;
    write();
    const std::vector<std::string> lines = capture.texts(google::GLOG_INFO);
    EXPECT_EQ(1u, lines.size());
    return lines.empty() ? "" : lines.front();
  }

  // A record whose action is `value`.
  std::string action(const std::string& value)
  {
    return pairs(line([&]() {
      audit_.log(
          TIMESTAMP,
          LogFmt::Authorizer::MESOS_AGENT,
          None(),
          value,
          "",
          LogFmt::Result::ALLOW,
          None(),
          None(),
          None(),
          None());
    }))["action"];
  }

  const LogFmt audit_{LogFmt::Audit::ENABLED};
};

} // namespace {


TEST_F(LogFmtTest, MinimalRecordHoldsTheSixFixedKeys)
{
  const std::string record = line([&]() {
    audit_.log(
        TIMESTAMP,
        LogFmt::Authorizer::MESOS_MASTER,
        None(),
        "GET",
        "/master/state",
        LogFmt::Result::DENY,
        None(),
        None(),
        None(),
        None());
  });

  const std::map<std::string, std::string> fields = pairs(record);
  EXPECT_EQ(
      std::set<std::string>(
          {"type", "timestamp", "authorizer", "action", "object", "result"}),
      keys(fields))
      << record;

  EXPECT_EQ("audit", fields.at("type"));
  EXPECT_EQ("2023-11-14 22:13:20+00:00", fields.at("timestamp"));
  EXPECT_EQ("\"mesos-master\"", fields.at("authorizer"));
  EXPECT_EQ("\"GET\"", fields.at("action"));
  EXPECT_EQ("\"/master/state\"", fields.at("object"));
  EXPECT_EQ("deny", fields.at("result"));

  // One blank between pairs, none at either end.
  EXPECT_EQ(std::string::npos, record.find("  "));
  EXPECT_NE(' ', record.front());
  EXPECT_NE(' ', record.back());
}


TEST_F(LogFmtTest, FullRecord)
{
  const std::string record = line([&]() {
    audit_.log(
        TIMESTAMP + Milliseconds(250),
        LogFmt::Authorizer::MESOS_AGENT,
        std::string("alice"),
        "POST",
        "/slave(1)/api",
        LogFmt::Result::ALLOW,
        std::string("Valid token"),
        inet("10.0.0.1", 5050),
        inet("192.168.1.20", 80),
        std::string("curl/7.88"));
  });

  EXPECT_EQ(
      (std::map<std::string, std::string>{
          {"type", "audit"},
          {"timestamp", "2023-11-14 22:13:20.250000000+00:00"},
          {"authorizer", "\"mesos-agent\""},
          {"uid", "\"alice\""},
          {"action", "\"POST\""},
          {"object", "\"/slave(1)/api\""},
          {"result", "allow"},
          {"reason", "\"Valid token\""},
          {"srcip", "10.0.0.1"},
          {"srcport", "5050"},
          {"dstip", "192.168.1.20"},
          {"dstport", "80"},
          {"agent", "\"curl/7.88\""},
      }),
      pairs(record))
      << record;
}


TEST_F(LogFmtTest, ValuesAreQuotedAndEscaped)
{
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "\"\""},
      {"plain", "\"plain\""},
      {"a\\b\"c\n", "\"a\\\\b\\\"c\\n\""},
      {"\\n", "\"\\\\n\""},
      {"\"\"", "\"\\\"\\\"\""},
      {"cr\rtab\t", "\"cr\rtab\t\""},
      {"caf\xc3\xa9 \x01", "\"caf\xc3\xa9 \x01\""},
      {"k=v other=x", "\"k=v other=x\""},
  };

  for (const auto& [value, quoted] : cases) {
    EXPECT_EQ(quoted, action(value)) << value;
  }
}


// Values of any size: glog cuts a message at 30,000 bytes, which would take
// the pairs after a long value with it. Each value is cut instead, with a
// marker of its size, so that the line keeps every key; the marker stays
// inside the quotes, and a cut never splits an escape or a character.
TEST_F(LogFmtTest, LongValuesAreCutAndTheRecordKeepsEveryKey)
{
  // Every byte of the escaped values needs an escape of its own.
  const std::string quotes(1 << 20, '"');
  const std::string uid(20000, '\\');
  const std::string agent(80 * 1024, '\n');
  const std::string object = "\xc3\xa9" + quotes;

  const std::string record = line([&]() {
    audit_.log(
        TIMESTAMP,
        LogFmt::Authorizer::MESOS_MASTER,
        uid,
        quotes,
        object,
        LogFmt::Result::DENY,
        quotes,
        inet("10.0.0.1", 5050),
        inet("10.0.0.2", 80),
        agent);
  });

  ASSERT_GT(30000u, record.size());
  const std::map<std::string, std::string> fields = pairs(record);
  EXPECT_EQ(
      std::set<std::string>(
          {"type",
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
           "agent"}),
      keys(fields))
      << record.substr(0, 200);
  EXPECT_EQ("deny", fields.at("result"));
  EXPECT_EQ("10.0.0.2", fields.at("dstip"));

  // The expected texts escape only the prefix a record keeps: escaping a
  // whole megabyte of quotes one replace at a time is quadratic.
  const auto cut = [](const std::string& value,
                      const std::string& from,
                      const std::string& to,
                      size_t bytes) {
    return "\"" + strings::replace(value.substr(0, bytes), from, to) + "... (" +
        std::to_string(value.size()) + " bytes in all)\"";
  };
  EXPECT_EQ(cut(quotes, "\"", "\\\"", 4096), fields.at("reason"));
  EXPECT_EQ(cut(quotes, "\"", "\\\"", 1024), fields.at("action"));
  EXPECT_EQ(cut(uid, "\\", "\\\\", 1024), fields.at("uid"));
  EXPECT_EQ(cut(agent, "\n", "\\n", 1024), fields.at("agent"));
  EXPECT_EQ(cut(object, "\"", "\\\"", 4096), fields.at("object"));

  // A cut that would fall inside a character keeps the character whole.
  const std::string accents = std::string(4095, 'a') + "\xc3\xa9";
  const std::string accented = line([&]() {
    audit_.log(
        TIMESTAMP,
        LogFmt::Authorizer::MESOS_MASTER,
        None(),
        "GET",
        accents,
        LogFmt::Result::DENY,
        None(),
        None(),
        None(),
        None());
  });
  EXPECT_EQ(
      "\"" + std::string(4095, 'a') + "... (4097 bytes in all)\"",
      pairs(accented).at("object"));
}


TEST_F(LogFmtTest, EnumerationTexts)
{
  const struct
  {
    LogFmt::Authorizer authorizer;
    LogFmt::Result result;
    std::string authorizerText;
    std::string resultText;
  } cases[] = {
      {LogFmt::Authorizer::MESOS_MASTER,
       LogFmt::Result::ALLOW,
       "\"mesos-master\"",
       "allow"},
      {LogFmt::Authorizer::MESOS_AGENT,
       LogFmt::Result::DENY,
       "\"mesos-agent\"",
       "deny"},
      {LogFmt::Authorizer::MESOS_SECRETS,
       LogFmt::Result::ALLOW,
       "\"mesos secrets hook/isolator\"",
       "allow"},
      {static_cast<LogFmt::Authorizer>(7),
       static_cast<LogFmt::Result>(9),
       "\"\"",
       ""},
  };

  for (const auto& c : cases) {
    std::map<std::string, std::string> fields = pairs(line([&]() {
      audit_.log(
          TIMESTAMP,
          c.authorizer,
          None(),
          "a",
          "o",
          c.result,
          None(),
          None(),
          None(),
          None());
    }));
    EXPECT_EQ(c.authorizerText, fields["authorizer"]);
    EXPECT_EQ(c.resultText, fields["result"]);
  }
}


TEST_F(LogFmtTest, AddressesOfOtherFamiliesAreLeftOut)
{
  std::map<std::string, std::string> fields = pairs(line([&]() {
    audit_.log(
        TIMESTAMP,
        LogFmt::Authorizer::MESOS_MASTER,
        None(),
        "a",
        "o",
        LogFmt::Result::ALLOW,
        None(),
        unixDomain("/tmp/socket"),
        inet("127.0.0.1", 5051),
        None());
  }));

  EXPECT_EQ(0u, fields.count("srcip"));
  EXPECT_EQ(0u, fields.count("srcport"));
  EXPECT_EQ("127.0.0.1", fields["dstip"]);
  EXPECT_EQ("5051", fields["dstport"]);
}


TEST_F(LogFmtTest, DisabledWriterWritesNothing)
{
  const LogFmt disabled(LogFmt::Audit::DISABLED);

  LogCapture capture;
  disabled.log(
      TIMESTAMP,
      LogFmt::Authorizer::MESOS_MASTER,
      std::string("alice"),
      "GET",
      "/",
      LogFmt::Result::DENY,
      std::string("reason"),
      inet("10.0.0.1", 1),
      inet("10.0.0.2", 2),
      std::string("agent"));

  EXPECT_TRUE(capture.texts(google::GLOG_INFO).empty());
}


// Every combination of optional fields (each address absent, IPv4 or of
// another family), with values that need escaping and values that do not:
// the line is byte for byte the reference's, pair order included.
TEST_F(LogFmtTest, LinesMatchTheMapBuiltReference)
{
  const std::vector<Option<std::string>> texts = {
      None(),
      std::string("alice"),
      std::string(""),
      std::string("a\\b\"c\nd \\\\n \"\" \r\t end\\"),
  };
  const std::vector<Option<Address>> addresses = {
      None(),
      inet("10.0.0.1", 5050),
      inet("255.255.255.255", 65535),
      inet("0.0.0.0", 0),
      unixDomain("/tmp/socket"),
  };
  const std::vector<std::pair<std::string, std::string>> fixed = {
      {"GET", "/master/state"},
      {"", ""},
      {"say \"hi\"\n", "C:\\path\\\"x\"\n\n"},
  };

  std::vector<std::string> expected;
  LogCapture capture;
  for (const Option<std::string>& uid : texts) {
    for (const Option<std::string>& reason : texts) {
      for (const Option<Address>& source : addresses) {
        for (const Option<Address>& destination : addresses) {
          for (const Option<std::string>& agent : texts) {
            for (const auto& [action, object] : fixed) {
              const Time time = TIMESTAMP + Nanoseconds(expected.size());
              audit_.log(
                  time,
                  LogFmt::Authorizer::MESOS_SECRETS,
                  uid,
                  action,
                  object,
                  LogFmt::Result::DENY,
                  reason,
                  source,
                  destination,
                  agent);
              expected.push_back(referenceLine(
                  time,
                  "mesos secrets hook/isolator",
                  uid,
                  action,
                  object,
                  "deny",
                  reason,
                  source,
                  destination,
                  agent));
            }
          }
        }
      }
    }
  }

  const std::vector<std::string> written = capture.texts(google::GLOG_INFO);
  ASSERT_EQ(4u * 4 * 5 * 5 * 4 * 3, expected.size());
  ASSERT_EQ(expected.size(), written.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(expected[i], written[i]) << "record " << i;
  }
}


// The timestamp is written as process::RFC3339 writes it: dates across
// leap years and century rules, whole seconds and every width of
// fraction, the far end of the clock's range (nanoseconds in 64 bits end
// in the year 2262), and times the formatter writes in forms of its own
// (before the epoch, or a fraction that rounds into the next second).
TEST_F(LogFmtTest, TimestampsMatchTheRFC3339Formatter)
{
  std::vector<Time> times = {
      Time::epoch(),
      Time::epoch() + Nanoseconds(1),
      Time::epoch() + Nanoseconds(999999999),
      Time::epoch() + Seconds(951782400), // 2000-02-29
      Time::epoch() + Seconds(951868800), // 2000-03-01
      Time::epoch() + Seconds(4107542400), // 2100-03-01
      Time::epoch() + Seconds(4107456000), // 2100-02-28
      Time::epoch() + Seconds(946684799), // 1999-12-31 23:59:59
      Time::epoch() + Nanoseconds(std::numeric_limits<int64_t>::max()),
      Time::epoch() + Nanoseconds(1700000000999999999),
      Time::epoch() - Seconds(1),
      Time::epoch() - Milliseconds(500),
      TIMESTAMP + Milliseconds(250),
      TIMESTAMP + Microseconds(1),
  };

  // Spread over the clock's range, with and without fractions.
  std::mt19937_64 random(16);
  for (int i = 0; i < 2000; ++i) {
    const int64_t secs = static_cast<int64_t>(random() % 9223372035ull);
    const int64_t nanos =
        i % 3 == 0 ? 0 : static_cast<int64_t>(random() % 1000000000);
    times.push_back(Time::epoch() + Seconds(secs) + Nanoseconds(nanos));
  }

  LogCapture capture;
  for (const Time& time : times) {
    audit_.log(
        time,
        LogFmt::Authorizer::MESOS_MASTER,
        None(),
        "a",
        "o",
        LogFmt::Result::ALLOW,
        None(),
        None(),
        None(),
        None());
  }

  const std::vector<std::string> written = capture.texts(google::GLOG_INFO);
  ASSERT_EQ(times.size(), written.size());
  for (size_t i = 0; i < times.size(); ++i) {
    ASSERT_EQ(
        referenceLine(
            times[i],
            "mesos-master",
            None(),
            "a",
            "o",
            "allow",
            None(),
            None(),
            None(),
            None()),
        written[i])
        << times[i].duration().ns() << " ns since the epoch";
  }
}
