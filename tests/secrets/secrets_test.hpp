#ifndef __TESTS_SECRETS_SECRETS_TEST_HPP__
#define __TESTS_SECRETS_SECRETS_TEST_HPP__

// What the secrets tests share: the development IAM service and secret
// store running in this process over loopback, the module flags that point
// at them, tasks and executors carrying the two labels, and the check that
// no secret value reached a log line.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <mesos/slave/isolator.hpp>

#include <process/owned.hpp>

#include <stout/duration.hpp>

#include "common/openssl.hpp"
#include "secrets/flags.hpp"
#include "tools/ovra_dev_secrets/core/dev_secrets.hpp"

#include "support/dev_iam_service.hpp"
#include "support/log_capture.hpp"
#include "support/test_keys.hpp"

namespace ovra_test {
namespace secrets_test {

constexpr char SPACE_LABEL[] = "SPACE";
constexpr char SECRETS_LABEL[] = "SECRETS";

// The store's values: distinctive, so that any trace of them in a log line
// is found.
constexpr char DBURL[] = "postgres://db-Secret-4711@db:5432/app";
constexpr char TOKEN[] = "tok-Secret-0815";
constexpr char SHARED[] = "shared-Secret-1234";
constexpr char PRIVATE[] = "private-Secret-9999";


inline dev_secrets::Secrets storeSecrets()
{
  dev_secrets::Secrets secrets;
  secrets["team1/app/dburl"] = {DBURL, None()};
  secrets["token"] = {TOKEN, None()};
  secrets["team1/shared"] = {SHARED, None()};
  secrets["team1/app/private"] = {
      PRIVATE, std::set<std::string>{"someone-else"}};
  return secrets;
}


inline mesos::Labels labels(
    const Option<std::string>& space,
    const Option<std::string>& secrets)
{
  mesos::Labels labels;
  if (space.isSome()) {
    mesos::Label* label = labels.add_labels();
    label->set_key(SPACE_LABEL);
    label->set_value(space.get());
  }
  if (secrets.isSome()) {
    mesos::Label* label = labels.add_labels();
    label->set_key(SECRETS_LABEL);
    label->set_value(secrets.get());
  }
  return labels;
}


inline mesos::ExecutorInfo executorWith(
    const Option<std::string>& space,
    const Option<std::string>& secrets)
{
  mesos::ExecutorInfo executor;
  executor.mutable_executor_id()->set_value("executor");
  executor.mutable_command()->set_value("true");
  *executor.mutable_labels() = labels(space, secrets);
  return executor;
}


inline mesos::TaskInfo taskWith(
    const Option<std::string>& space,
    const Option<std::string>& secrets)
{
  mesos::TaskInfo task;
  task.set_name("task");
  task.mutable_task_id()->set_value("task-1");
  task.mutable_slave_id()->set_value("agent-1");
  task.mutable_command()->set_value("true");
  *task.mutable_labels() = labels(space, secrets);
  return task;
}


inline std::vector<std::pair<std::string, std::string>> variables(
    const mesos::Environment& environment)
{
  std::vector<std::pair<std::string, std::string>> result;
  for (const mesos::Environment::Variable& variable : environment.variables()) {
    result.emplace_back(variable.name(), variable.value());
  }
  return result;
}


// A request for one secret, team1/app/dburl, into DB_URL.
constexpr char DB_URL_REQUEST[] =
    R"([{"name":"team1/app/dburl","type":"ENVIRONMENT",)"
    R"("environment":{"name":"DB_URL"}}])";


// `value` as an audit record quotes it.
inline std::string quoted(const std::string& value)
{
  std::string result = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') {
      result += '\\';
    }
    result += c;
  }
  return result + "\"";
}


// No line of `log`, at any severity, holds a secret value.
inline void expectNoSecretIn(const LogCapture& log)
{
  for (const LogCapture::Line& line : log.lines()) {
    for (const char* value : {DBURL, TOKEN, SHARED, PRIVATE}) {
      EXPECT_EQ(std::string::npos, line.text.find(value))
          << "a secret in: " << line.text;
    }
  }
}


// The IAM service and the store run for the whole test.
class StoreTest : public test_iam::ServiceTest
{
protected:
  void SetUp() override
  {
    test_iam::ServiceTest::SetUp();
    if (HasFatalFailure()) {
      return;
    }

    Try<std::shared_ptr<RSA>> key = openssl::publicKey(test_keys::PUBLIC_KEY);
    ASSERT_FALSE(key.isError()) << key.error();

    Try<process::Owned<dev_secrets::DevSecrets>> store =
        dev_secrets::DevSecrets::start(storeSecrets(), key.get());
    ASSERT_FALSE(store.isError()) << store.error();
    store_ = store.get();
  }

  void TearDown() override
  {
    store_.reset();
    test_iam::ServiceTest::TearDown();
  }

  mesos::secrets::Flags flags() const
  {
    mesos::secrets::Flags flags;
    flags.store_url = store_->url();
    flags.special_secret_space_label = SPACE_LABEL;
    flags.special_secret_protobuf_label = SECRETS_LABEL;
    flags.service_account_credential = test_iam::credential(*iam_);
    flags.network_timeout = Seconds(5);
    flags.audit_log = true;
    return flags;
  }

  process::Owned<dev_secrets::DevSecrets> store_;
};

// A container as the Mesos containerizer describes it to its isolators.
inline mesos::slave::ContainerConfig container(
    const mesos::ExecutorInfo& executor,
    const Option<mesos::TaskInfo>& task)
{
  mesos::slave::ContainerConfig config;
  config.mutable_executor_info()->CopyFrom(executor);
  if (task.isSome()) {
    config.mutable_task_info()->CopyFrom(task.get());
  }
  config.set_directory("/var/lib/mesos/slaves/a1/sandbox");
  config.set_user("nobody");
  return config;
}


inline mesos::ContainerID containerId()
{
  mesos::ContainerID id;
  id.set_value("c1");
  return id;
}

} // namespace secrets_test {
} // namespace ovra_test {

#endif // __TESTS_SECRETS_SECRETS_TEST_HPP__
