#include <process/metrics/metrics.hpp>

#include <list>
#include <memory>
#include <vector>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/collect.hpp>
#include <process/defer.hpp>
#include <process/http.hpp>

#include <stout/json.hpp>
#include <stout/numify.hpp>
#include <stout/os.hpp>
#include <stout/strings.hpp>

using std::string;

namespace process {

const Duration TIME_SERIES_WINDOW = Weeks(2);
const size_t TIME_SERIES_CAPACITY = 1000;

namespace metrics {
namespace internal {

// Set by process::initialize(), before any metric can be added.
PID<MetricsProcess> metrics;

namespace {

constexpr char RATE_LIMIT[] = "LIBPROCESS_METRICS_SNAPSHOT_ENDPOINT_RATE_LIMIT";


// The time between two snapshots that "<requests>/<duration>" allows.
Try<Duration> snapshotInterval(const string& limit)
{
  const std::vector<string> tokens = strings::tokenize(limit, "/");
  if (tokens.size() != 2) {
    return Error("");
  }

  const Try<int> requests = numify<int>(tokens[0]);
  if (requests.isError()) {
    return Error(": Failed to parse the number of requests: " + requests.error());
  }

  const Try<Duration> duration = Duration::parse(tokens[1]);
  if (duration.isError()) {
    return Error(": Failed to parse the interval: " + duration.error());
  }

  if (requests.get() <= 0 || duration.get() <= Duration::zero()) {
    return Error(": the rate must be positive");
  }

  return duration.get() / requests.get();
}

} // namespace {


MetricsProcess* MetricsProcess::create(
    const Option<string>& authenticationRealm)
{
  const Option<string> limit = os::getenv(RATE_LIMIT);

  Option<Duration> interval = Milliseconds(500);
  if (limit.isSome() && limit->empty()) {
    interval = None();
  } else if (limit.isSome()) {
    const Try<Duration> parsed = snapshotInterval(limit.get());
    if (parsed.isSome()) {
      interval = parsed.get();
    } else {
      // libprocess exits here; the stand-in keeps the default rate.
      LOG(ERROR) << "Failed to parse " << RATE_LIMIT << " '" << limit.get()
                 << "' (format is <number of requests>/<interval duration>)"
                 << parsed.error();
    }
  }

  return new MetricsProcess(interval, authenticationRealm);
}


MetricsProcess::MetricsProcess(
    const Option<Duration>& _interval,
    const Option<string>& _authenticationRealm)
  : ProcessBase("metrics"),
    interval(_interval),
    nextPermit(Time::epoch()),
    authenticationRealm(_authenticationRealm) {}


void MetricsProcess::initialize()
{
  const string help = "Provides a snapshot of the current metrics.";

  if (authenticationRealm.isSome()) {
    route("/snapshot",
          authenticationRealm.get(),
          help,
          &MetricsProcess::_snapshot);
  } else {
    route("/snapshot", help, [this](const http::Request& request) {
      return _snapshot(request, None());
    });
  }
}


Future<Nothing> MetricsProcess::add(Owned<Metric> metric)
{
  if (metrics.contains(metric->name())) {
    return Failure("Metric '" + metric->name() + "' was already added");
  }

  metrics[metric->name()] = metric;
  return Nothing();
}


Future<Nothing> MetricsProcess::remove(const string& name)
{
  if (!metrics.contains(name)) {
    return Failure("Metric '" + name + "' not found");
  }

  metrics.erase(name);
  return Nothing();
}


Future<hashmap<string, double>> MetricsProcess::snapshot(
    const Option<Duration>& timeout)
{
  // The values are asked for now; the statistics are taken now too.
  auto values = std::make_shared<hashmap<string, Future<double>>>();
  auto statistics =
    std::make_shared<hashmap<string, Option<Statistics<double>>>>();
  std::list<Future<double>> futures;

  for (const auto& [name, metric] : metrics) {
    const Future<double> value = metric->value();
    (*values)[name] = value;
    (*statistics)[name] = metric->statistics();
    futures.push_back(value);
  }

  Future<std::list<Future<double>>> waited = await(futures);
  if (timeout.isSome()) {
    waited = waited.after(
        timeout.get(),
        [futures](const Future<std::list<Future<double>>>&) {
          return futures;
        });
  }

  return waited.then([values, statistics, timeout]() {
    hashmap<string, double> snapshot;

    for (const auto& [key, value] : *values) {
      if (value.isPending()) {
        VLOG(1) << "Exceeded timeout of " << timeout.get()
                << " when attempting to get metric '" << key << "'";
      } else if (value.isReady()) {
        snapshot[key] = value.get();
      }

      const Option<Statistics<double>>& summary = statistics->at(key);
      if (summary.isSome()) {
        snapshot[key + "/count"] = static_cast<double>(summary->count);
        snapshot[key + "/min"] = summary->min;
        snapshot[key + "/max"] = summary->max;
        snapshot[key + "/p50"] = summary->p50;
        snapshot[key + "/p90"] = summary->p90;
        snapshot[key + "/p95"] = summary->p95;
        snapshot[key + "/p99"] = summary->p99;
        snapshot[key + "/p999"] = summary->p999;
        snapshot[key + "/p9999"] = summary->p9999;
      }
    }

    return snapshot;
  });
}


Future<Nothing> MetricsProcess::acquire()
{
  if (interval.isNone()) {
    return Nothing();
  }

  const Time now = Clock::now();
  if (nextPermit <= now) {
    nextPermit = now + interval.get();
    return Nothing();
  }

  const Duration wait = nextPermit - now;
  nextPermit += interval.get();

  auto permit = std::make_shared<Promise<Nothing>>();
  Clock::timer(wait, [permit]() { permit->set(Nothing()); });
  return permit->future();
}


Future<http::Response> MetricsProcess::_snapshot(
    const http::Request& request,
    const Option<string>&)
{
  Option<Duration> timeout;
  const Option<string> parameter = request.url.query.get("timeout");
  if (parameter.isSome()) {
    const Try<Duration> duration = Duration::parse(parameter.get());
    if (duration.isError()) {
      return http::BadRequest(
          "Invalid timeout '" + parameter.get() + "': " + duration.error() +
          ".\n");
    }
    timeout = duration.get();
  }

  const Option<string> jsonp = request.url.query.get("jsonp");

  return acquire()
    .then(defer(self(), &Self::snapshot, timeout))
    .then([jsonp](const hashmap<string, double>& snapshot) -> http::Response {
      JSON::Object object;
      for (const auto& [key, value] : snapshot) {
        object.values[key] = JSON::Number(value);
      }
      return http::OK(object, jsonp);
    });
}

} // namespace internal {
} // namespace metrics {
} // namespace process {
