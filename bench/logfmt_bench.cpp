// Audit records beside their baselines, in one run:
//   - a whole record (logfmt and JSON), beside the record built as it
//     first was (pairs in a hash map, values through strings::replace, the
//     timestamp through the RFC3339 stream formatter) and beside glog
//     writing a ready-made line;
//   - each of the record's speed-ups on its own, beside what it replaced:
//     the pair order read from the layout table against a hash map filled
//     per record, a value quoted in one pass against three replaces, and
//     the timestamp written directly against the stream formatter.
// glog formats every message; raising the minimum level keeps the lines
// off the terminal, so the figures are the records' own cost.

#include <string>
#include <unordered_map>

#include <benchmark/benchmark.h>

#include <glog/logging.h>

#include <process/address.hpp>
#include <process/clock.hpp>
#include <process/time.hpp>

#include <stout/ip.hpp>
#include <stout/stringify.hpp>

#include "common/audit_text.hpp"
#include "common/logfmt.hpp"
#include "common/logfmt_layout.hpp"
#include "common/rfc3339_text.hpp"

#include "tests/support/logfmt_reference.hpp"

using corvanta::LogFmt;

namespace audit = corvanta::audit;

namespace {

const std::string REASON = "Valid authorization token";

process::network::Address source()
{
  return process::network::inet::Address(
      net::IP::parse("10.0.0.1", AF_INET).get(), 5050);
}


// Argument 0: the logfmt form, 1: the JSON form.
void BM_Record(benchmark::State& state)
{
  FLAGS_minloglevel = google::GLOG_WARNING;

  const LogFmt logfmt(
      LogFmt::Audit::ENABLED,
      state.range(0) == 0 ? LogFmt::Format::LOGFMT : LogFmt::Format::JSON);
  const process::network::Address address = source();
  const process::Time now = process::Clock::now();

  for (auto _ : state) {
    logfmt.log(now, LogFmt::Authorizer::MESOS_MASTER, std::string("alice"),
               "GET", "/master/state", LogFmt::Result::ALLOW, REASON,
               address, address, std::string("curl/7.88.1"));
  }
}
BENCHMARK(BM_Record)->Arg(0)->Arg(1);


void BM_RecordAsFirstBuilt(benchmark::State& state)
{
  FLAGS_minloglevel = google::GLOG_WARNING;

  const process::network::Address address = source();
  const process::Time now = process::Clock::now();

  for (auto _ : state) {
    LOG(INFO) << ovra_test::referenceLine(
        now, "mesos-master", std::string("alice"), "GET", "/master/state",
        "allow", REASON, address, address, std::string("curl/7.88.1"));
  }
}
BENCHMARK(BM_RecordAsFirstBuilt);


void BM_GlogReadyLine(benchmark::State& state)
{
  FLAGS_minloglevel = google::GLOG_WARNING;

  const std::string line =
    "type=audit timestamp=2023-11-14 22:13:20+00:00 "
    "authorizer=\"mesos-master\" uid=\"alice\" action=\"GET\" "
    "object=\"/master/state\" result=allow "
    "reason=\"Valid authorization token\" srcip=10.0.0.1 srcport=5050 "
    "dstip=10.0.0.1 dstport=5050 agent=\"curl/7.88.1\"";

  for (auto _ : state) {
    LOG(INFO) << line;
  }
}
BENCHMARK(BM_GlogReadyLine);


// Every field of a record, with values of a typical size.
const char* const VALUES[audit::FIELDS] = {
  "audit", "2023-11-14 22:13:20+00:00", "\"mesos-master\"", "\"alice\"",
  "\"GET\"", "\"/master/state\"", "allow", "\"Valid authorization token\"",
  "10.0.0.1", "5050", "10.0.0.1", "5050", "\"curl/7.88.1\"",
};

constexpr unsigned ALL_PARTS = audit::PARTS - 1;


void BM_PairOrderFromLayout(benchmark::State& state)
{
  for (auto _ : state) {
    std::string line;
    line.reserve(300);
    const audit::Layout& layout = audit::layout(ALL_PARTS);
    for (uint8_t i = 0; i < layout.count; ++i) {
      if (i > 0) {
        line.push_back(' ');
      }
      line.append(audit::KEYS[layout.fields[i]]);
      line.push_back('=');
      line.append(VALUES[layout.fields[i]]);
    }
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_PairOrderFromLayout);


void BM_PairOrderFromHashMap(benchmark::State& state)
{
  for (auto _ : state) {
    std::unordered_map<std::string, std::string> record(10);
    for (uint8_t field = 0; field < audit::FIELDS; ++field) {
      record[audit::KEYS[field]] = VALUES[field];
    }
    std::string line;
    for (const auto& [key, value] : record) {
      if (!line.empty()) {
        line += " ";
      }
      line += key + "=" + value;
    }
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_PairOrderFromHashMap);


const std::string QUOTED = "GET /master/state?jsonp=\"x\"\nwith a \\ or two";


void BM_QuoteInOnePass(benchmark::State& state)
{
  for (auto _ : state) {
    std::string line;
    audit::appendQuoted(&line, QUOTED, 1024);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_QuoteInOnePass);


void BM_QuoteByReplace(benchmark::State& state)
{
  for (auto _ : state) {
    std::string line = ovra_test::referenceQuote(QUOTED);
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_QuoteByReplace);


void BM_TimestampWritten(benchmark::State& state)
{
  const process::Time now = process::Clock::now();
  for (auto _ : state) {
    std::string line;
    audit::appendTimestamp(&line, now, ' ');
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_TimestampWritten);


void BM_TimestampByFormatter(benchmark::State& state)
{
  const process::Time now = process::Clock::now();
  for (auto _ : state) {
    std::string line = stringify(process::RFC3339(now));
    benchmark::DoNotOptimize(line);
  }
}
BENCHMARK(BM_TimestampByFormatter);

} // namespace {

BENCHMARK_MAIN();
