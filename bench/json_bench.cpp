#include <string>

#include <benchmark/benchmark.h>

#include <picojson.h>

#include <stout/json.hpp>

#include "common/sentrel/bounded_json.hpp"

// stout's JSON::parse beside picojson's own parse of the same text, for an
// ordinary document of about 1 MiB and for one nested to the bound of 100
// levels. stout's parse builds its values in one pass as picojson reads.
// Beside them the modules' nesting check alone, and the modules' parse
// (the check, then stout's parse), whose cost over stout's is the check's.

namespace {

// An IAM-like permissions document of about 1 MiB: many flat entries.
const std::string& ordinary()
{
  static const std::string text = []() {
    std::string s = "{\"direct\":[";
    for (int i = 0; s.size() < 1024 * 1024; ++i) {
      if (i > 0) {
        s += ",";
      }
      s += "{\"rid\":\"ovra:mesos:master:task:app_id:/prod/service-" +
           std::to_string(i) + "\",\"description\":\"entry " +
           std::to_string(i) + "\",\"aclurl\":\"/acls/" + std::to_string(i) +
           "\",\"actions\":[{\"name\":\"read\",\"url\":\"/a\"},"
           "{\"name\":\"create\",\"url\":\"/b\"}],\"weight\":" +
           std::to_string(i * 0.5) + "}";
    }
    return s + "]}";
  }();
  return text;
}


// Objects and arrays alternating, 100 levels deep.
const std::string& deepest()
{
  static const std::string text = []() {
    std::string s;
    for (int i = 0; i < 50; ++i) {
      s += "{\"a\":[";
    }
    s += "1";
    for (int i = 0; i < 50; ++i) {
      s += "]}";
    }
    return s;
  }();
  return text;
}


// Parses `text` with `parse`: stout's parser unless another is given.
void parseStout(
    benchmark::State& state,
    const std::string& text,
    Try<JSON::Value> (*parse)(const std::string&) = JSON::parse)
{
  for (auto _ : state) {
    Try<JSON::Value> value = parse(text);
    benchmark::DoNotOptimize(value);
    if (value.isError()) {
      state.SkipWithError(value.error().c_str());
      break;
    }
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size()));
}


void parsePicojson(benchmark::State& state, const std::string& text)
{
  for (auto _ : state) {
    picojson::value value;
    const std::string error = picojson::parse(value, text);
    benchmark::DoNotOptimize(value);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size()));
}


void checkNesting(benchmark::State& state, const std::string& text)
{
  for (auto _ : state) {
    const Option<Error> nesting = mesos::sentrel::checkJsonNesting(text);
    benchmark::DoNotOptimize(nesting);
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * text.size()));
}


void parseBounded(benchmark::State& state, const std::string& text)
{
  parseStout(state, text, mesos::sentrel::parseJson<JSON::Value>);
}


void BM_Ordinary_NestingCheck(benchmark::State& state) { checkNesting(state, ordinary()); }
void BM_Ordinary_Bounded(benchmark::State& state) { parseBounded(state, ordinary()); }
void BM_Ordinary_Stout(benchmark::State& state) { parseStout(state, ordinary()); }
void BM_Ordinary_Picojson(benchmark::State& state) { parsePicojson(state, ordinary()); }
void BM_Deepest_Stout(benchmark::State& state) { parseStout(state, deepest()); }
void BM_Deepest_Picojson(benchmark::State& state) { parsePicojson(state, deepest()); }

BENCHMARK(BM_Ordinary_NestingCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ordinary_Bounded)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ordinary_Stout)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ordinary_Picojson)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Deepest_Stout)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Deepest_Picojson)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
