#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <mesos/mesos.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

#include "common/openssl.hpp"
#include "secrets/common/fetch.hpp"
#include "secrets/common/store_client.hpp"
#include "secrets/flags.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"
#include "tools/ovra_dev_secrets/core/dev_secrets.hpp"

#include "support/test_keys.hpp"

using namespace ovra_test;

// One fetch of a task's secrets against the development IAM service and
// secret store on loopback, for 1, 10 and 50 secrets, beside the
// service-account login alone, which every fetch makes once. The store
// requests of a fetch run at once, so 50 secrets should cost little more
// than one.

namespace {

constexpr int MOST_SECRETS = 50;

struct Services
{
  Services()
  {
    dev_iam::Config config;
    config.key = {test_keys::PRIVATE_KEY, test_keys::PUBLIC_KEY};
    config.serviceAccounts["agent-1"] = test_keys::OTHER_PUBLIC_KEY;
    iam = dev_iam::DevIAM::start(config).get();

    dev_secrets::Secrets secrets;
    for (int i = 0; i < MOST_SECRETS; ++i) {
      secrets["team1/app/s" + stringify(i)] = {"value-" + stringify(i), None()};
    }
    store = dev_secrets::DevSecrets::start(
                secrets, openssl::publicKey(test_keys::PUBLIC_KEY).get())
              .get();

    flags.store_url = store->url();
    flags.special_secret_space_label = "SPACE";
    flags.special_secret_protobuf_label = "SECRETS";
    flags.service_account_credential = dev_iam::rs256Credential(
        "agent-1", test_keys::OTHER_PRIVATE_KEY, iam->loginEndpoint());
    flags.network_timeout = Seconds(10);
    flags.audit_log = false;
  }

  process::Owned<dev_iam::DevIAM> iam;
  process::Owned<dev_secrets::DevSecrets> store;
  mesos::secrets::Flags flags;
};


Services& services()
{
  static Services* services = new Services();
  return *services;
}


mesos::ExecutorInfo asking(int secrets)
{
  std::string request = "[";
  for (int i = 0; i < secrets; ++i) {
    request += std::string(i == 0 ? "" : ",") +
      R"({"name":"team1/app/s)" + stringify(i) +
      R"(","type":"ENVIRONMENT","environment":{"name":"S)" + stringify(i) +
      R"("}})";
  }
  request += "]";

  mesos::ExecutorInfo executor;
  executor.mutable_executor_id()->set_value("e");
  mesos::Label* space = executor.mutable_labels()->add_labels();
  space->set_key("SPACE");
  space->set_value("team1/app");
  mesos::Label* secretsLabel = executor.mutable_labels()->add_labels();
  secretsLabel->set_key("SECRETS");
  secretsLabel->set_value(request);
  return executor;
}


void BM_FetchSecrets(benchmark::State& state)
{
  Services& s = services();
  const int secrets = static_cast<int>(state.range(0));
  const mesos::ExecutorInfo executor = asking(secrets);

  for (auto _ : state) {
    process::Future<Option<mesos::Environment>> fetch =
      mesos::secrets::fetchSecrets(s.flags, executor, None());
    fetch.await();
    if (!fetch.isReady() || fetch->isNone() ||
        fetch->get().variables_size() != secrets) {
      state.SkipWithError("the fetch failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FetchSecrets)->Arg(1)->Arg(10)->Arg(MOST_SECRETS)->UseRealTime();


// Baseline: the login alone, token signature included.
void BM_LoginBaseline(benchmark::State& state)
{
  Services& s = services();
  for (auto _ : state) {
    process::Future<std::string> token = mesos::secrets::storeLogin(
        s.flags.service_account_credential.get(), s.flags);
    token.await();
    if (!token.isReady()) {
      state.SkipWithError("the login failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoginBaseline)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
