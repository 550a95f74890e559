// Requests through an authenticated endpoint of this process's HTTP server,
// whose realm is served by the HTTP authenticator module against the
// development IAM service, beside requests to an unauthenticated endpoint
// of the same server in the same run. The concurrent case also reports how
// many key fetches the IAM service saw per request.

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

#include "ovra_auth/authenticator.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "tests/support/dev_iam_service.hpp"

using process::Future;
using process::Owned;

using process::http::Request;
using process::http::Response;
using process::http::URL;

namespace {

const char REALM[] = "bench-realm";


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
    route(
        "/closed",
        REALM,
        None(),
        [](const Request&, const Option<std::string>& principal)
          -> Future<Response> {
          return process::http::OK(principal.getOrElse(""));
        });
  }
};


// The IAM service, the authenticator and the endpoints, set up once.
struct Setup
{
  Setup()
  {
    FLAGS_minloglevel = google::GLOG_ERROR;

    iam = dev_iam::DevIAM::start(test_iam::config()).get();

    mesos::ovra::OVRAHTTPAuthenticator::Flags flags;
    flags.host = "master";
    flags.iam = iam->url();
    flags.audit_log = false;
    process::http::authentication::setAuthenticator(
        REALM,
        Owned<process::http::authentication::Authenticator>(
            new mesos::ovra::OVRAHTTPAuthenticator(flags, None())))
      .await();

    process::spawn(endpoints);

    token = iam->issueToken("alice").get();
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


void getOnce(benchmark::State& state, const URL& url,
             const Option<process::http::Headers>& headers)
{
  for (auto _ : state) {
    Response response = process::http::get(url, headers).get();
    if (response.code != 200) {
      state.SkipWithError("unexpected status");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}


void BM_UnauthenticatedGet(benchmark::State& state)
{
  getOnce(state, setup().url("/open"), None());
}
BENCHMARK(BM_UnauthenticatedGet)->UseRealTime();


void BM_AuthenticatedGet(benchmark::State& state)
{
  process::http::Headers headers;
  headers["Authorization"] = "token=" + setup().token;
  getOnce(state, setup().url("/closed"), headers);
}
BENCHMARK(BM_AuthenticatedGet)->UseRealTime();


// `state.range(0)` requests at once; reports the IAM key fetches per
// request, which the shared fetch keeps below one.
void BM_ConcurrentAuthenticatedGets(benchmark::State& state)
{
  process::http::Headers headers;
  headers["Authorization"] = "token=" + setup().token;
  const URL url = setup().url("/closed");

  const size_t before = setup().iam->requests(dev_iam::Endpoint::JWKS).get();
  size_t requests = 0;

  for (auto _ : state) {
    std::list<Future<Response>> responses;
    for (int i = 0; i < state.range(0); ++i) {
      responses.push_back(process::http::get(url, headers));
    }
    process::collect(responses).await();
    requests += responses.size();
  }

  const size_t fetches =
    setup().iam->requests(dev_iam::Endpoint::JWKS).get() - before;
  state.counters["key_fetches_per_request"] =
    static_cast<double>(fetches) / static_cast<double>(requests);
  state.SetItemsProcessed(static_cast<int64_t>(requests));
}
BENCHMARK(BM_ConcurrentAuthenticatedGets)->Arg(16)->UseRealTime();

} // namespace {

BENCHMARK_MAIN();
