// The metrics of the secrets hook and isolator as an operator reads them
// at "/metrics/snapshot": each request counted once with its one outcome,
// the secrets given, the failures by kind, and the time of each fetch that
// went out to the IAM service and the store, on a paused clock so that
// every value is known.

#include <map>
#include <memory>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>
#include <mesos/slave/containerizer.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "secrets/common/metrics.hpp"
#include "secrets/flags.hpp"
#include "secrets/hook.hpp"
#include "secrets/isolator.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/fault_peer.hpp"
#include "support/futures.hpp"
#include "support/metrics_snapshot.hpp"
#include "support/remote_faults.hpp"
#include "support/test_keys.hpp"

#include "secrets/secrets_test.hpp"

using namespace ovra_test;

// Named, not anonymous: the test files are compiled several to a unit.
namespace secrets_metrics_test {

using mesos::DockerTaskExecutorPrepareInfo;
using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using metrics_snapshot::Values;

using process::Clock;
using process::Future;

using remote_faults::Drive;
using remote_faults::Fault;

using secrets_test::DB_URL_REQUEST;
using secrets_test::taskWith;

const char SPACE[] = "team1/app";

const char TWO_SECRETS[] =
    R"([{"name":"team1/app/dburl","type":"ENVIRONMENT",)"
    R"("environment":{"name":"DB_URL"}},)"
    R"({"name":"team1/shared","type":"ENVIRONMENT",)"
    R"("environment":{"name":"SHARED"}}])";

// Readable by someone else only: the store refuses it.
const char PRIVATE_SECRET[] =
    R"([{"name":"team1/app/private","type":"ENVIRONMENT",)"
    R"("environment":{"name":"P"}}])";

const char OUTSIDE_THE_SPACE[] =
    R"([{"name":"team2/db","type":"ENVIRONMENT","environment":{"name":"A"}}])";


enum class Kind
{
  HOOK,
  ISOLATOR,
};


std::string moduleName(Kind kind)
{
  return kind == Kind::HOOK ? "Hook" : "Isolator";
}


void PrintTo(Kind kind, std::ostream* out)
{
  *out << moduleName(kind);
}


// One module, asked as its containerizer asks it; either module's answer
// as the variables it gives, none when it gives none.
class Module
{
public:
  virtual ~Module() = default;

  // For a task labelled as given, run by an executor without labels.
  virtual Future<Option<mesos::Environment>> task(
      const mesos::TaskInfo& task) = 0;

  // For an executor launched without a task.
  virtual Future<Option<mesos::Environment>> executorAlone(
      const mesos::ExecutorInfo& executor) = 0;
};


class Hook : public Module
{
public:
  explicit Hook(const mesos::secrets::Flags& flags) : hook(flags) {}

  Future<Option<mesos::Environment>> task(const mesos::TaskInfo& task) override
  {
    return decorate(task, mesos::ExecutorInfo());
  }

  Future<Option<mesos::Environment>> executorAlone(
      const mesos::ExecutorInfo& executor) override
  {
    return decorate(None(), executor);
  }

private:
  Future<Option<mesos::Environment>> decorate(
      const Option<mesos::TaskInfo>& task,
      const mesos::ExecutorInfo& executor)
  {
    return hook
        .slavePreLaunchDockerTaskExecutorDecorator(
            task,
            executor,
            "mesos-a1.c1",
            "/var/lib/mesos/slaves/a1/sandbox",
            "/mnt/mesos/sandbox",
            None())
        .then(
            [](const Option<DockerTaskExecutorPrepareInfo>& info)
                -> Option<mesos::Environment> {
              if (info.isSome() && info->has_taskenvironment()) {
                return info->taskenvironment();
              }
              return None();
            });
  }

  mesos::secrets::SecretsHook hook;
};


class Isolator : public Module
{
public:
  explicit Isolator(const mesos::secrets::Flags& flags) : isolator(flags) {}

  Future<Option<mesos::Environment>> task(const mesos::TaskInfo& task) override
  {
    mesos::ExecutorInfo executor;
    executor.mutable_executor_id()->set_value("task-1");
    return prepare(executor, task);
  }

  Future<Option<mesos::Environment>> executorAlone(
      const mesos::ExecutorInfo& executor) override
  {
    return prepare(executor, None());
  }

private:
  Future<Option<mesos::Environment>> prepare(
      const mesos::ExecutorInfo& executor,
      const Option<mesos::TaskInfo>& task)
  {
    return isolator
        .prepare(
            secrets_test::containerId(),
            secrets_test::container(executor, task))
        .then(
            [](const Option<ContainerLaunchInfo>& info)
                -> Option<mesos::Environment> {
              if (info.isSome()) {
                return info->environment();
              }
              return None();
            });
  }

  mesos::secrets::SecretsIsolator isolator;
};


template <typename T>
::testing::AssertionResult fails(const Future<T>& future)
{
  if (!completesWithin(future, Seconds(15))) {
    return ::testing::AssertionFailure() << "still pending";
  }
  if (!future.isFailed()) {
    return ::testing::AssertionFailure()
        << (future.isReady() ? "ready" : "discarded");
  }
  return ::testing::AssertionSuccess();
}


// The number of variables given.
::testing::AssertionResult gives(
    const Future<Option<mesos::Environment>>& future,
    int variables)
{
  ::testing::AssertionResult result = ready(future);
  if (!result) {
    return result;
  }
  const int given = future->isSome() ? future->get().variables_size() : -1;
  if (given != variables) {
    return ::testing::AssertionFailure()
        << "gave " << (future->isSome() ? stringify(given) : "none")
        << ", expected " << variables << " variables";
  }
  return ::testing::AssertionSuccess();
}


::testing::AssertionResult givesNone(
    const Future<Option<mesos::Environment>>& future)
{
  ::testing::AssertionResult result = ready(future);
  if (!result) {
    return result;
  }
  if (future->isSome()) {
    return ::testing::AssertionFailure() << "gave an environment";
  }
  return ::testing::AssertionSuccess();
}


class SecretsMetricsTest : public secrets_test::StoreTest,
                           public ::testing::WithParamInterface<Kind>
{
protected:
  std::unique_ptr<Module> module(const mesos::secrets::Flags& flags) const
  {
    if (GetParam() == Kind::HOOK) {
      return std::make_unique<Hook>(flags);
    }
    return std::make_unique<Isolator>(flags);
  }

  // The snapshot's names of this module's metrics begin with this.
  std::string area() const
  {
    return std::string(
               GetParam() == Kind::HOOK ? mesos::secrets::HOOK_METRICS
                                        : mesos::secrets::ISOLATOR_METRICS) +
        "/";
  }

  Values counts(
      double requests,
      double secretsFetched,
      double badRequest,
      double login,
      double store,
      double timeout) const
  {
    return {
        {area() + "requests", requests},
        {area() + "secrets_fetched", secretsFetched},
        {area() + "failures_bad_request", badRequest},
        {area() + "failures_login", login},
        {area() + "failures_store", store},
        {area() + "failures_timeout", timeout},
    };
  }

  // `values` and the fetch timer's entries: its last time, then the
  // count, the least time and the greatest, and the percentiles, which
  // are all the greatest in these tests.
  Values withTimes(
      Values values,
      double last,
      double count,
      double least,
      double greatest) const
  {
    const std::string timer = area() + "fetch_ms";
    values[timer] = last;
    values[timer + "/count"] = count;
    values[timer + "/min"] = least;
    for (const char* statistic :
         {"/max", "/p50", "/p90", "/p95", "/p99", "/p999", "/p9999"}) {
      values[timer + statistic] = greatest;
    }
    return values;
  }

  // The timer keeps one time per instant of the clock: each request is
  // made a millisecond after the last.
  static void nextInstant() { Clock::advance(Milliseconds(1)); }
};


std::string nameOf(const ::testing::TestParamInfo<Kind>& info)
{
  return moduleName(info.param);
}


// Secrets given, calls that ask for none, requests refused for their
// labels or by the store, and a store and an IAM service that are down.
// The hook asks for nothing for an executor alone; the isolator gives it
// the secrets of its own labels. The metrics go with the module.
TEST_P(SecretsMetricsTest, CountsEachRequestOnceByItsOutcome)
{
  Clock::pause();
  std::unique_ptr<Module> asked = module(flags());

  Try<Values> snapshot = metrics_snapshot::read(area());
  ASSERT_FALSE(snapshot.isError()) << snapshot.error();
  EXPECT_EQ(counts(0, 0, 0, 0, 0, 0), snapshot.get());

  nextInstant();
  EXPECT_TRUE(gives(asked->task(taskWith(SPACE, DB_URL_REQUEST)), 1));
  nextInstant();
  EXPECT_TRUE(gives(asked->task(taskWith(SPACE, TWO_SECRETS)), 2));

  nextInstant();
  const Future<Option<mesos::Environment>> executor =
      asked->executorAlone(secrets_test::executorWith(SPACE, DB_URL_REQUEST));
  const bool hook = GetParam() == Kind::HOOK;
  EXPECT_TRUE(hook ? givesNone(executor) : gives(executor, 1));

  // No space label, no secrets label, neither: no request.
  EXPECT_TRUE(givesNone(asked->task(taskWith(None(), DB_URL_REQUEST))));
  EXPECT_TRUE(givesNone(asked->task(taskWith(SPACE, None()))));
  EXPECT_TRUE(givesNone(asked->task(taskWith(None(), None()))));

  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, OUTSIDE_THE_SPACE))));
  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, "not json"))));

  nextInstant();
  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, PRIVATE_SECRET))));

  store_.reset();
  nextInstant();
  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, DB_URL_REQUEST))));

  iam_.reset();
  nextInstant();
  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, DB_URL_REQUEST))));

  // Everything happened on a clock that stood still during each fetch.
  const double alone = hook ? 0 : 1;
  snapshot = metrics_snapshot::read(area());
  ASSERT_FALSE(snapshot.isError()) << snapshot.error();
  EXPECT_EQ(
      withTimes(counts(7 + alone, 3 + alone, 2, 1, 2, 0), 0, 5 + alone, 0, 0),
      snapshot.get());

  asked.reset();
  snapshot = metrics_snapshot::read(area());
  ASSERT_FALSE(snapshot.isError()) << snapshot.error();
  EXPECT_EQ(Values(), snapshot.get());
}


// A login or a store that never answers: the fetch ends at
// `network_timeout` and counts as timed out, whichever step it waited on,
// and its time is the whole limit.
TEST_P(SecretsMetricsTest, CountsAFetchPastItsLimitAsTimedOut)
{
  const auto login = [](const fault_peer::Request&) {
    return fault_peer::Answer::json("{\"token\":\"iam-token\"}");
  };
  const auto store = [](const fault_peer::Request&) {
    JSON::Object body;
    body.values["value"] = secrets_test::DBURL;
    return fault_peer::Answer::json(stringify(body));
  };
  fault_peer::FaultPeer iam(login);
  fault_peer::FaultPeer secrets(store);
  ASSERT_NE(0, iam.port());
  ASSERT_NE(0, secrets.port());

  mesos::secrets::Flags flags = this->flags();
  flags.store_url = process::http::URL::parse(secrets.url("/secrets/v1")).get();
  flags.service_account_credential = dev_iam::rs256Credential(
      "agent-1", test_keys::OTHER_PRIVATE_KEY, iam.url("/login"));
  flags.network_timeout = Seconds(2);

  Clock::pause();
  std::unique_ptr<Module> asked = module(flags);
  const std::string failure = "Failed to execute pong: Timed out after 2secs";
  const mesos::TaskInfo task = taskWith(SPACE, DB_URL_REQUEST);

  remote_faults::inject(iam, Fault::SILENT);
  nextInstant();
  EXPECT_TRUE(remote_faults::failsWith(
      asked->task(task), iam, Fault::SILENT, Drive{1, Seconds(2)}, failure));

  iam.setDefault(fault_peer::Behaviour::normal());
  remote_faults::inject(secrets, Fault::SILENT);
  nextInstant();
  EXPECT_TRUE(remote_faults::failsWith(
      asked->task(task),
      secrets,
      Fault::SILENT,
      Drive{1, Seconds(2)},
      failure));

  secrets.setDefault(fault_peer::Behaviour::normal());
  nextInstant();
  EXPECT_TRUE(gives(asked->task(task), 1));

  const Try<Values> snapshot = metrics_snapshot::read(area());
  ASSERT_FALSE(snapshot.isError()) << snapshot.error();
  EXPECT_EQ(withTimes(counts(3, 1, 0, 0, 0, 2), 0, 3, 0, 2000), snapshot.get());
}


// Without a service account nothing is sent: a login failure, not timed.
TEST_P(SecretsMetricsTest, CountsAMissingServiceAccountAsALoginFailure)
{
  mesos::secrets::Flags flags = this->flags();
  flags.service_account_credential = None();
  std::unique_ptr<Module> asked = module(flags);

  EXPECT_TRUE(fails(asked->task(taskWith(SPACE, DB_URL_REQUEST))));

  const Try<Values> snapshot = metrics_snapshot::read(area());
  ASSERT_FALSE(snapshot.isError()) << snapshot.error();
  EXPECT_EQ(counts(1, 0, 0, 1, 0, 0), snapshot.get());
}


INSTANTIATE_TEST_SUITE_P(
    SecretsModules,
    SecretsMetricsTest,
    ::testing::Values(Kind::HOOK, Kind::ISOLATOR),
    nameOf);

} // namespace secrets_metrics_test {
