#ifndef __TESTS_SUPPORT_METRICS_SNAPSHOT_HPP__
#define __TESTS_SUPPORT_METRICS_SNAPSHOT_HPP__

// The metrics as an operator reads them: this program's
// "/metrics/snapshot" over HTTP, the metrics whose names start with a
// prefix, with the snapshot's optional "timeout". The test main lifts the
// endpoint's rate limit.

#include <map>
#include <string>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/json.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "support/futures.hpp"

namespace ovra_test {
namespace metrics_snapshot {

using Values = std::map<std::string, double>;

inline process::http::URL url()
{
  return process::http::URL(
      "http", "127.0.0.1", process::address().port, "/metrics/snapshot");
}


inline Try<Values> read(
    const std::string& prefix,
    const Option<std::string>& timeout = None())
{
  process::http::URL snapshot = url();
  if (timeout.isSome()) {
    snapshot.query["timeout"] = timeout.get();
  }

  const process::Future<process::http::Response> response =
      process::http::get(snapshot);
  if (!ready(response)) {
    return Error("No answer from /metrics/snapshot");
  }
  if (response->code != 200) {
    return Error("/metrics/snapshot answered " + response->status);
  }

  const Try<JSON::Object> object = JSON::parse<JSON::Object>(response->body);
  if (object.isError()) {
    return Error(object.error());
  }

  Values values;
  for (const auto& [name, value] : object->values) {
    if (strings::startsWith(name, prefix) && value.is<JSON::Number>()) {
      values[name] = value.as<JSON::Number>().as<double>();
    }
  }
  return values;
}

} // namespace metrics_snapshot {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_METRICS_SNAPSHOT_HPP__
