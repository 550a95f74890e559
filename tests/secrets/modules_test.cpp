// The secrets hook and isolator as the agent's containerizers call them,
// made by their factories from module parameters: a command task, an
// executor launched without a task, a refused request and its audit record.

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/hook.hpp>
#include <mesos/mesos.hpp>
#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/slave/containerizer.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>

#include <stout/json.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "support/audit_records.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/module_parameters.hpp"

#include "secrets/secrets_test.hpp"

using namespace ovra_test;

using mesos::DockerTaskExecutorPrepareInfo;
using mesos::slave::ContainerConfig;
using mesos::slave::ContainerLaunchInfo;

using process::Future;

extern mesos::modules::Module<mesos::Hook> com_corvanta_ovra_SecretsHook;
extern mesos::modules::Module<mesos::slave::Isolator>
    com_corvanta_ovra_SecretsIsolator;

using secrets_test::DB_URL_REQUEST;
using secrets_test::container;
using secrets_test::containerId;

namespace {

const char OUTSIDE[] =
    R"([{"name":"team2/db","type":"ENVIRONMENT","environment":{"name":"A"}}])";

const char NOT_ACCESSIBLE[] =
    "Failed to extract secrets from label SECRETS: Requested secret "
    "'team2/db' is not accessible from: team1/app";


class SecretsModulesTest : public secrets_test::StoreTest
{
protected:
  mesos::Parameters moduleParameters() const
  {
    return parameters(
        {{"store_url", stringify(store_->url())},
         {"special_secret_protobuf_label", secrets_test::SECRETS_LABEL},
         {"special_secret_space_label", secrets_test::SPACE_LABEL},
         {"service_account_credential",
          stringify(JSON::protobuf(test_iam::credential(*iam_)))},
         {"network_timeout", "5secs"},
         {"audit_log", "true"}});
  }
};


// The hook as the Docker containerizer calls it.
Future<Option<DockerTaskExecutorPrepareInfo>> decorate(
    mesos::Hook* hook,
    const Option<mesos::TaskInfo>& task,
    const mesos::ExecutorInfo& executor)
{
  return hook->slavePreLaunchDockerTaskExecutorDecorator(
      task,
      executor,
      "mesos-a1.c1",
      "/var/lib/mesos/slaves/a1/sandbox",
      "/mnt/mesos/sandbox",
      std::map<std::string, std::string>{
          {"MESOS_SANDBOX", "/mnt/mesos/sandbox"}});
}

} // namespace {


TEST_F(SecretsModulesTest, IsolatorGivesTheSecretsOfATaskOrOfAnExecutorAlone)
{
  LogCapture log;
  std::unique_ptr<mesos::slave::Isolator> isolator(
      com_corvanta_ovra_SecretsIsolator.create(moduleParameters()));
  ASSERT_NE(nullptr, isolator);
  EXPECT_TRUE(log.texts(google::GLOG_ERROR).empty());

  // A command task: the agent's executor carries no labels, the task does.
  mesos::ExecutorInfo commandExecutor;
  commandExecutor.mutable_executor_id()->set_value("task-1");
  Future<Option<ContainerLaunchInfo>> task = isolator->prepare(
      containerId(),
      container(
          commandExecutor,
          secrets_test::taskWith(
              std::string("team1/app"), std::string(DB_URL_REQUEST))));

  // An executor launched without a task, its own labels asking.
  Future<Option<ContainerLaunchInfo>> executor = isolator->prepare(
      containerId(),
      container(
          secrets_test::executorWith(
              std::string("team1/app"), std::string(DB_URL_REQUEST)),
          None()));

  for (const Future<Option<ContainerLaunchInfo>>& prepared : {task, executor}) {
    ASSERT_TRUE(ready(prepared));
    ASSERT_TRUE(prepared->isSome());
    EXPECT_EQ(
        (std::vector<std::pair<std::string, std::string>>{
            {"DB_URL", secrets_test::DBURL}}),
        secrets_test::variables(prepared->get().environment()));
    EXPECT_FALSE(prepared->get().has_command());
  }

  // No labels: nothing to apply.
  Future<Option<ContainerLaunchInfo>> plain =
      isolator->prepare(containerId(), container(commandExecutor, None()));
  ASSERT_TRUE(ready(plain));
  EXPECT_TRUE(plain->isNone());

  secrets_test::expectNoSecretIn(log);
}


TEST_F(SecretsModulesTest, IsolatorAuditsARefusalWithTheContainerConfig)
{
  std::unique_ptr<mesos::slave::Isolator> isolator(
      com_corvanta_ovra_SecretsIsolator.create(moduleParameters()));
  ASSERT_NE(nullptr, isolator);

  LogCapture log;
  const ContainerConfig config = container(
      secrets_test::executorWith(
          std::string("team1/app"), std::string(OUTSIDE)),
      None());
  EXPECT_TRUE(failed(isolator->prepare(containerId(), config), NOT_ACCESSIBLE));

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("\"FETCH_SECRETS\"", records[0].at("action"));
  EXPECT_EQ("deny", records[0].at("result"));
  EXPECT_EQ(
      secrets_test::quoted(stringify(JSON::protobuf(config))),
      records[0].at("object"));
  EXPECT_EQ(secrets_test::quoted(NOT_ACCESSIBLE), records[0].at("reason"));
}


// The largest records the secrets modules write, whole: a request of 220
// long names (validated, then refused by the store), one of 257 secrets
// and a label of 40 kB (both refused). glog cuts a message at 30,000
// bytes; each record keeps every key, its object cut with the marker of
// its size.
TEST_F(SecretsModulesTest, LargestRecordsKeepEveryKey)
{
  std::unique_ptr<mesos::slave::Isolator> isolator(
      com_corvanta_ovra_SecretsIsolator.create(moduleParameters()));
  ASSERT_NE(nullptr, isolator);

  const auto secrets = [](size_t count, size_t nameSize) {
    std::string request = "[";
    for (size_t i = 0; i < count; ++i) {
      request += std::string(i > 0 ? "," : "") + R"({"name":"team1/app/)" +
          std::string(nameSize, 'n') + std::to_string(i) +
          R"(","type":"ENVIRONMENT",)" + R"("environment":{"name":"V)" +
          std::to_string(i) + R"("}})";
    }
    return request + "]";
  };

  const struct
  {
    std::string what;
    std::string request;
    std::vector<std::string> actions;
  } cases[] = {
      {"220 long names",
       secrets(220, 200),
       {"\"VALIDATE_SECRETS_REQUEST\"",
        "\"GET_SIGNED_JWT_FROM_SENTREL\"",
        "\"FETCH_SECRETS\""}},
      {"257 secrets", secrets(257, 1), {"\"FETCH_SECRETS\""}},
      {"a label of 40 kB", std::string(40 * 1024, 'x'), {"\"FETCH_SECRETS\""}},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LogCapture log;
    const ContainerConfig config = container(
        secrets_test::executorWith(std::string("team1/app"), c.request),
        None());
    EXPECT_TRUE(
        completesWithin(isolator->prepare(containerId(), config), Seconds(15)));

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(c.actions.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const audit_records::Record& record = records[i];
      for (const char* key :
           {"type",
            "timestamp",
            "authorizer",
            "uid",
            "action",
            "object",
            "result",
            "reason"}) {
        EXPECT_EQ(1u, record.count(key)) << key;
      }
      EXPECT_EQ(c.actions[i], record.at("action"));
    }
    const std::string& object = records.back().at("object");
    EXPECT_NE(std::string::npos, object.find(" bytes in all)\"")) << object;
    EXPECT_EQ("deny", records.back().at("result"));
  }
}


TEST_F(
    SecretsModulesTest,
    HookGivesTheTaskEnvironmentAndNothingToAnExecutorAlone)
{
  LogCapture log;
  std::unique_ptr<mesos::Hook> hook(
      com_corvanta_ovra_SecretsHook.create(moduleParameters()));
  ASSERT_NE(nullptr, hook);

  const mesos::ExecutorInfo asking = secrets_test::executorWith(
      std::string("team1/app"), std::string(DB_URL_REQUEST));

  Future<Option<DockerTaskExecutorPrepareInfo>> task = decorate(
      hook.get(),
      secrets_test::taskWith(
          std::string("team1/app"), std::string(DB_URL_REQUEST)),
      asking);
  ASSERT_TRUE(ready(task));
  ASSERT_TRUE(task->isSome());
  EXPECT_FALSE(task->get().has_executorenvironment());
  EXPECT_EQ(
      (std::vector<std::pair<std::string, std::string>>{
          {"DB_URL", secrets_test::DBURL}}),
      secrets_test::variables(task->get().taskenvironment()));

  // An executor alone gets nothing from the hook, whatever its labels;
  // nothing is asked of the IAM service or the store for it.
  Future<size_t> before = store_->requests();
  ASSERT_TRUE(ready(before));
  Future<Option<DockerTaskExecutorPrepareInfo>> executor =
      decorate(hook.get(), None(), asking);
  ASSERT_TRUE(ready(executor));
  EXPECT_TRUE(executor->isNone());

  // A task asking for nothing: a prepare info with neither environment.
  Future<Option<DockerTaskExecutorPrepareInfo>> plain = decorate(
      hook.get(),
      secrets_test::taskWith(None(), None()),
      mesos::ExecutorInfo());
  ASSERT_TRUE(ready(plain));
  ASSERT_TRUE(plain->isSome());
  EXPECT_FALSE(plain->get().has_taskenvironment());
  EXPECT_FALSE(plain->get().has_executorenvironment());

  Future<size_t> after = store_->requests();
  ASSERT_TRUE(ready(after));
  EXPECT_EQ(before.get(), after.get());

  secrets_test::expectNoSecretIn(log);
}


TEST_F(SecretsModulesTest, HookAuditsARefusalWithTheTaskAndTheExecutor)
{
  std::unique_ptr<mesos::Hook> hook(
      com_corvanta_ovra_SecretsHook.create(moduleParameters()));
  ASSERT_NE(nullptr, hook);

  LogCapture log;
  const mesos::TaskInfo task =
      secrets_test::taskWith(std::string("team1/app"), std::string(OUTSIDE));
  const mesos::ExecutorInfo executor =
      secrets_test::executorWith(None(), None());
  EXPECT_TRUE(failed(decorate(hook.get(), task, executor), NOT_ACCESSIBLE));

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("\"FETCH_SECRETS\"", records[0].at("action"));
  EXPECT_EQ("deny", records[0].at("result"));
  EXPECT_EQ(
      secrets_test::quoted(
          "TaskInfo: " + stringify(JSON::protobuf(task)) +
          "ExecutorInfo: " + stringify(JSON::protobuf(executor))),
      records[0].at("object"));
}
