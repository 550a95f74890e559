// The SSL executor hook's and isolator's counts, as an operator reads them
// from "/metrics/snapshot": each container given the SSL files and
// environment, each failure, nothing without strict SSL, and nothing left
// once the module is gone.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "support/futures.hpp"
#include "support/metrics_snapshot.hpp"
#include "support/module_parameters.hpp"

#include "ssl_exec/ssl_exec_test.hpp"

using namespace ovra_test;

extern mesos::modules::Module<mesos::Hook> com_corvanta_ovra_SSLExecutorHook;
extern mesos::modules::Module<mesos::slave::Isolator>
    com_corvanta_ovra_SSLExecutorIsolator;

namespace {

class SslMetricsTest : public SslExecTest
{
protected:
  void SetUp() override
  {
    SslExecTest::SetUp();
    missing_ = outside_ + "/missing";
    for (const char* name : {"/one", "/two"}) {
      sandboxes_.push_back(outside_ + name);
      ASSERT_EQ(0, ::mkdir(sandboxes_.back().c_str(), 0755));
    }
  }

  static process::Future<Option<mesos::DockerTaskExecutorPrepareInfo>> decorate(
      mesos::Hook* hook,
      const std::string& sandbox)
  {
    mesos::ExecutorInfo executor;
    executor.mutable_executor_id()->set_value("e1");
    return hook->slavePreLaunchDockerTaskExecutorDecorator(
        None(), executor, "mesos-a1.c1", sandbox, "/mnt/mesos/sandbox", None());
  }

  static process::Future<Option<mesos::slave::ContainerLaunchInfo>> prepare(
      mesos::slave::Isolator* isolator,
      const std::string& sandbox)
  {
    mesos::ContainerID id;
    id.set_value("c1");
    mesos::slave::ContainerConfig config;
    config.set_directory(sandbox);
    config.mutable_command_info()->set_value("true");
    return isolator->prepare(id, config);
  }

  // Two sandboxes that exist, and one that does not.
  std::vector<std::string> sandboxes_;
  std::string missing_;
};


// The snapshot holds exactly these counts of the module's `area`.
::testing::AssertionResult counted(
    const std::string& area,
    double prepared,
    double failures)
{
  const Try<metrics_snapshot::Values> snapshot =
      metrics_snapshot::read(area + "/");
  if (snapshot.isError()) {
    return ::testing::AssertionFailure() << snapshot.error();
  }
  const metrics_snapshot::Values expected = {
      {area + "/containers_prepared", prepared},
      {area + "/failures", failures}};
  if (snapshot.get() != expected) {
    return ::testing::AssertionFailure()
        << ::testing::PrintToString(snapshot.get());
  }
  return ::testing::AssertionSuccess();
}


// None of the module's metrics are left.
::testing::AssertionResult gone(const std::string& area)
{
  const Try<metrics_snapshot::Values> snapshot =
      metrics_snapshot::read(area + "/");
  if (snapshot.isError()) {
    return ::testing::AssertionFailure() << snapshot.error();
  }
  if (!snapshot->empty()) {
    return ::testing::AssertionFailure()
        << ::testing::PrintToString(snapshot.get());
  }
  return ::testing::AssertionSuccess();
}


// The attempt ended in a failure.
template <typename T>
bool failedAtAll(const process::Future<T>& future)
{
  return completesWithin(future, Seconds(15)) && future.isFailed();
}

} // namespace {


// The snapshot is read with the agent's SSL off: under strict SSL this
// process's server takes no plain HTTP.
TEST_F(SslMetricsTest, HookCountsDecoratedContainersAndFailures)
{
  const std::string area = "ovra/ssl_executor_hook";
  {
    std::unique_ptr<mesos::Hook> hook(
        com_corvanta_ovra_SSLExecutorHook.create(moduleParameters()));
    ASSERT_NE(nullptr, hook);
    EXPECT_TRUE(counted(area, 0, 0));

    {
      AgentSsl ssl(SslMode::DOWNGRADE);
      ASSERT_TRUE(ready(decorate(hook.get(), sandboxes_[0])));
    }
    {
      AgentSsl ssl(SslMode::STRICT);
      for (const std::string& sandbox : sandboxes_) {
        ASSERT_TRUE(ready(decorate(hook.get(), sandbox)));
      }
      EXPECT_TRUE(failedAtAll(decorate(hook.get(), missing_)));
    }
    EXPECT_TRUE(counted(area, 2, 1));
  }

  // Another hook counts from zero; a failure after the copies counts too.
  std::unique_ptr<mesos::Hook> hook(com_corvanta_ovra_SSLExecutorHook.create(
      moduleParameters(std::string("{oops"))));
  ASSERT_NE(nullptr, hook);
  {
    AgentSsl ssl(SslMode::STRICT);
    EXPECT_TRUE(failedAtAll(decorate(hook.get(), sandboxes_[0])));
  }
  EXPECT_TRUE(counted(area, 0, 1));

  hook.reset();
  EXPECT_TRUE(gone(area));
}


TEST_F(SslMetricsTest, IsolatorCountsPreparedContainersAndFailures)
{
  const std::string area = "ovra/ssl_executor_isolator";
  {
    std::unique_ptr<mesos::slave::Isolator> isolator(
        com_corvanta_ovra_SSLExecutorIsolator.create(moduleParameters()));
    ASSERT_NE(nullptr, isolator);
    EXPECT_TRUE(counted(area, 0, 0));

    {
      AgentSsl ssl(SslMode::OFF);
      ASSERT_TRUE(ready(prepare(isolator.get(), sandboxes_[0])));
    }
    {
      AgentSsl ssl(SslMode::STRICT);
      for (const std::string& sandbox : sandboxes_) {
        ASSERT_TRUE(ready(prepare(isolator.get(), sandbox)));
      }
      EXPECT_TRUE(failedAtAll(prepare(isolator.get(), missing_)));
    }
    EXPECT_TRUE(counted(area, 2, 1));
  }

  std::unique_ptr<mesos::slave::Isolator> isolator(
      com_corvanta_ovra_SSLExecutorIsolator.create(
          moduleParameters(std::string(R"({"N": 1})"))));
  ASSERT_NE(nullptr, isolator);
  {
    AgentSsl ssl(SslMode::STRICT);
    EXPECT_TRUE(failedAtAll(prepare(isolator.get(), sandboxes_[0])));
  }
  EXPECT_TRUE(counted(area, 0, 1));

  // The actor's copy of the counts goes with the isolator.
  isolator.reset();
  EXPECT_TRUE(gone(area));
}
