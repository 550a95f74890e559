// Requests through an authenticated endpoint of this process's HTTP server,
// whose realm is served by the HTTP authenticator module against the
// development IAM service, beside requests to an unauthenticated endpoint
// of the same server in the same run, at 1, 16 and 64 clients, with the
// key cache off (the default) and on, and with audit records written in
// either form (built in full, kept off the terminal); each reports how many
// key fetches the IAM service saw per request. Beside them, the metric work
// that each of those requests does (copies of the counters its outcome
// raises, two increments), for its share of a request's time.

#include <list>
#include <string>

#include <benchmark/benchmark.h>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/collect.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>

#include "ovra_auth/authenticator.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "tests/support/dev_iam_service.hpp"

using namespace ovra_test;

using process::Future;
using process::Owned;

using process::http::Request;
using process::http::Response;
using process::http::URL;

namespace {

// One realm per authenticator: without the key cache (the default) and
// with it, without audit records and with them in each form.
const char REALM[] = "bench-realm";
const char CACHED_REALM[] = "bench-realm-cached";
const char LOGFMT_AUDITED_REALM[] = "bench-realm-audited-logfmt";
const char JSON_AUDITED_REALM[] = "bench-realm-audited-json";


class Endpoints : public process::Process<Endpoints>
{
public:
  Endpoints() : ProcessBase("bench") {}

protected:
  void initialize() override
  {
    route("/open", None(), [](const Request&) -> Future<Response> {
      return process::http::OK("ok");
    });
    for (const char* realm :
         {REALM, CACHED_REALM, LOGFMT_AUDITED_REALM, JSON_AUDITED_REALM}) {
      route(
          std::string("/") + realm,
          realm,
          None(),
          [](const Request&, const Option<std::string>& principal)
            -> Future<Response> {
            return process::http::OK(principal.getOrElse(""));
          });
    }
  }
};


// The IAM service, the authenticators and the endpoints, set up once.
struct Setup
{
  Setup()
  {
    FLAGS_minloglevel = google::GLOG_ERROR;

    iam = dev_iam::DevIAM::start(test_iam::config()).get();

    mesos::ovra::OVRAHTTPAuthenticator::Flags flags;
    flags.host = "master";
    flags.iam = iam->url();
    flags.audit_log = true;
    install(LOGFMT_AUDITED_REALM, flags);
    flags.audit_format = "json";
    install(JSON_AUDITED_REALM, flags);

    flags.audit_log = false;
    install(REALM, flags);

    flags.jwks_cache_lifetime = Minutes(10);
    install(CACHED_REALM, flags);

    process::spawn(endpoints);

    token = iam->issueToken("alice").get();
  }

  static void install(
      const std::string& realm,
      const mesos::ovra::OVRAHTTPAuthenticator::Flags& flags)
  {
    process::http::authentication::setAuthenticator(
        realm,
        Owned<process::http::authentication::Authenticator>(
            new mesos::ovra::OVRAHTTPAuthenticator(flags, None())))
      .await();
  }

  URL url(const std::string& path) const
  {
    return URL("http", "127.0.0.1", process::address().port, "/bench" + path);
  }

  Owned<dev_iam::DevIAM> iam;
  Endpoints endpoints;
  std::string token;
};


Setup& setup()
{
  static Setup* setup = new Setup();
  return *setup;
}


// `state.range(0)` clients, each with one request in flight at a time, for
// the path; reports the IAM key fetches per request.
void requests(
    benchmark::State& state,
    const std::string& path,
    const Option<process::http::Headers>& headers)
{
  const URL url = setup().url(path);
  const size_t before = setup().iam->requests(dev_iam::Endpoint::JWKS).get();
  size_t sent = 0;

  for (auto _ : state) {
    std::list<Future<Response>> responses;
    for (int i = 0; i < state.range(0); ++i) {
      responses.push_back(process::http::get(url, headers));
    }
    Future<std::list<Response>> all = process::collect(responses);
    all.await();
    if (!all.isReady() || all->front().code != 200) {
      state.SkipWithError("a request failed");
      return;
    }
    sent += responses.size();
  }

  const size_t fetches =
    setup().iam->requests(dev_iam::Endpoint::JWKS).get() - before;
  state.counters["key_fetches_per_request"] =
    static_cast<double>(fetches) / static_cast<double>(sent);
  state.SetItemsProcessed(static_cast<int64_t>(sent));
}


process::http::Headers withToken()
{
  process::http::Headers headers;
  headers["Authorization"] = "token=" + setup().token;
  return headers;
}


void BM_Unauthenticated(benchmark::State& state)
{
  requests(state, "/open", None());
}
BENCHMARK(BM_Unauthenticated)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();


void BM_Authenticated(benchmark::State& state)
{
  requests(state, std::string("/") + REALM, withToken());
}
BENCHMARK(BM_Authenticated)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();


void BM_AuthenticatedWithKeyCache(benchmark::State& state)
{
  requests(state, std::string("/") + CACHED_REALM, withToken());
}
BENCHMARK(BM_AuthenticatedWithKeyCache)->Arg(1)->Arg(16)->Arg(64)->UseRealTime();


void BM_AuthenticatedLogfmtAudit(benchmark::State& state)
{
  requests(state, std::string("/") + LOGFMT_AUDITED_REALM, withToken());
}
BENCHMARK(BM_AuthenticatedLogfmtAudit)->Arg(1)->Arg(16)->UseRealTime();


void BM_AuthenticatedJsonAudit(benchmark::State& state)
{
  requests(state, std::string("/") + JSON_AUDITED_REALM, withToken());
}
BENCHMARK(BM_AuthenticatedJsonAudit)->Arg(1)->Arg(16)->UseRealTime();


// What a request with the key cache on does to the metrics: the three
// counters its outcome may raise, copied into the continuation, the cache
// hit and the outcome counted.
void BM_RequestMetricWork(benchmark::State& state)
{
  mesos::ovra::HTTPAuthenticatorMetrics metrics;
  for (auto _ : state) {
    process::metrics::Counter allowed = metrics.allowed;
    process::metrics::Counter denied = metrics.denied_bad_signature;
    process::metrics::Counter failed = metrics.failed;
    ++metrics.key_cache_hits;
    ++allowed;
    benchmark::DoNotOptimize(denied);
    benchmark::DoNotOptimize(failed);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestMetricWork)->Threads(1)->Threads(16)->UseRealTime();

} // namespace {

BENCHMARK_MAIN();
