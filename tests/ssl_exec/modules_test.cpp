// The SSL executor hook and isolator as the agent creates them from their
// descriptors and calls them, with the agent's SSL off, downgrading, or
// strict.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>
#include <process/gtest.hpp>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>

#include "support/futures.hpp"
#include "support/module_parameters.hpp"

#include "ssl_exec/ssl_exec_test.hpp"

using namespace ovra_test;

using mesos::DockerTaskExecutorPrepareInfo;
using mesos::modules::Module;
using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Future;

extern Module<mesos::Hook> com_corvanta_ovra_SSLExecutorHook;
extern Module<mesos::slave::Isolator> com_corvanta_ovra_SSLExecutorIsolator;

namespace {

const std::string MAPPED = "/mnt/mesos/sandbox";

} // namespace {


class SslModulesTest : public SslExecTest
{
protected:
  Future<Option<DockerTaskExecutorPrepareInfo>> decorate(
      const mesos::Parameters& given)
  {
    std::unique_ptr<mesos::Hook> hook(
        com_corvanta_ovra_SSLExecutorHook.create(given));
    EXPECT_NE(nullptr, hook.get());
    if (hook == nullptr) {
      return process::Failure("no hook");
    }
    mesos::ExecutorInfo executor;
    executor.mutable_executor_id()->set_value("e1");
    return hook->slavePreLaunchDockerTaskExecutorDecorator(
        None(), executor, "mesos-a1.c1", sandbox_, MAPPED, None());
  }

  // The isolator's answer, awaited before the isolator goes.
  Future<Option<ContainerLaunchInfo>> prepare(const mesos::Parameters& given)
  {
    std::unique_ptr<mesos::slave::Isolator> isolator(
        com_corvanta_ovra_SSLExecutorIsolator.create(given));
    EXPECT_NE(nullptr, isolator.get());
    if (isolator == nullptr) {
      return process::Failure("no isolator");
    }
    mesos::ContainerID id;
    id.set_value("c1");
    ContainerConfig config;
    config.set_directory(sandbox_);
    config.mutable_command_info()->set_value("true");
    Future<Option<ContainerLaunchInfo>> info = isolator->prepare(id, config);
    info.await();
    return info;
  }
};


TEST_F(SslModulesTest, NothingIsDoneUnlessTheAgentRunsStrictSsl)
{
  for (SslMode mode : {SslMode::OFF, SslMode::DOWNGRADE}) {
    AgentSsl ssl(mode);

    Future<Option<DockerTaskExecutorPrepareInfo>> decorated =
        decorate(moduleParameters());
    AWAIT_ASSERT_READY(decorated);
    EXPECT_TRUE(decorated->isNone()) << name(mode);

    Future<Option<ContainerLaunchInfo>> prepared = prepare(moduleParameters());
    AWAIT_ASSERT_READY(prepared);
    EXPECT_TRUE(prepared->isNone()) << name(mode);

    EXPECT_TRUE(entries(sandbox_).empty()) << name(mode);
  }
}


TEST_F(SslModulesTest, HookPointsTheExecutorAtTheHostAndTheTaskAtTheMap)
{
  AgentSsl ssl(SslMode::STRICT);

  Future<Option<DockerTaskExecutorPrepareInfo>> decorated =
      decorate(moduleParameters(std::string(R"({"FOO": "bar"})")));
  AWAIT_ASSERT_READY(decorated);
  ASSERT_TRUE(decorated->isSome());

  const auto executor = variables(decorated->get().executorenvironment());
  const auto task = variables(decorated->get().taskenvironment());
  EXPECT_EQ(
      sandbox_ + "/.ssl/agent.key", executor.at("LIBPROCESS_SSL_KEY_FILE"));
  EXPECT_EQ(MAPPED + "/.ssl/agent.key", task.at("LIBPROCESS_SSL_KEY_FILE"));
  EXPECT_EQ(MAPPED + "/.ssl/ca.crt", task.at("LIBPROCESS_SSL_CA_FILE"));
  EXPECT_EQ("true", task.at("LIBPROCESS_SSL_ENABLED"));
  EXPECT_EQ(
      names(decorated->get().executorenvironment()),
      names(decorated->get().taskenvironment()));
  EXPECT_EQ("bar", task.at("FOO"));

  EXPECT_EQ(
      (std::vector<std::string>{"agent.crt", "agent.key", "ca.crt"}),
      entries(sandbox_ + "/.ssl"));
}


TEST_F(SslModulesTest, IsolatorPointsTheExecutorAtTheSandboxHostPath)
{
  AgentSsl ssl(SslMode::STRICT);

  Future<Option<ContainerLaunchInfo>> prepared = prepare(moduleParameters());
  AWAIT_ASSERT_READY(prepared);
  ASSERT_TRUE(prepared->isSome());

  const auto environment = variables(prepared->get().environment());
  EXPECT_EQ(
      sandbox_ + "/.ssl/ca.crt", environment.at("LIBPROCESS_SSL_CA_FILE"));
  EXPECT_EQ(
      sandbox_ + "/.ssl/agent.crt", environment.at("LIBPROCESS_SSL_CERT_FILE"));
  EXPECT_EQ("true", environment.at("LIBPROCESS_SSL_REQUIRE_CERT"));
  EXPECT_EQ("the key", read(sandbox_ + "/.ssl/agent.key"));
}


TEST_F(SslModulesTest, FailuresNameTheModuleStepAndTheCause)
{
  AgentSsl ssl(SslMode::STRICT);

  const std::string certificate = flags_.cert_file;
  const std::string missing = agent_ + "/missing.crt";
  const std::string notFound =
      "Failed to copy certificate: Source file '" + missing + "' not found";
  flags_.cert_file = missing;

  EXPECT_TRUE(failed(
      decorate(moduleParameters()), "Failed to copy SSL assets: " + notFound));
  EXPECT_TRUE(failed(
      prepare(moduleParameters()),
      "Failed to make SSL assets available: " + notFound));

  // A bad executor_environment fails after the copies were made.
  flags_.cert_file = certificate;
  TemporaryDirectory other;
  sandbox_ = other.path();
  Future<Option<DockerTaskExecutorPrepareInfo>> decorated =
      decorate(moduleParameters(std::string("{oops")));
  AWAIT_ASSERT_FAILED(decorated);
  EXPECT_TRUE(strings::startsWith(
      decorated.failure(),
      "Failed to prepare executor environment: Failed to parse "
      "'executor_environment': Failed to parse 'executor_environment': "))
      << decorated.failure();
  EXPECT_EQ(
      (std::vector<std::string>{"agent.crt", "agent.key", "ca.crt"}),
      entries(sandbox_ + "/.ssl"));

  Future<Option<ContainerLaunchInfo>> prepared =
      prepare(moduleParameters(std::string(R"({"N": 1})")));
  EXPECT_TRUE(failed(
      prepared,
      "Failed to prepare executor environment: Failed to parse "
      "'executor_environment': Value of key 'N' in 'executor_environment' is "
      "not a string"));
}
