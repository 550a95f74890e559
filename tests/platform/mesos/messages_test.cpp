// Facts about Mesos's messages that module code relies on and that a
// hand-written .proto easily gets wrong: defaults, enum aliases, required
// fields, and the operators of mesos/type_utils.hpp.

#include <sstream>
#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>
#include <mesos/type_utils.hpp>

#include <mesos/authentication/authentication.hpp>
#include <mesos/authorizer/authorizer.hpp>
#include <mesos/module/hook.pb.h>
#include <mesos/quota/quota.hpp>
#include <mesos/slave/containerizer.hpp>

#include <stout/jsonify.hpp>
#include <stout/protobuf.hpp>

using namespace mesos;

using std::string;

namespace {

ContainerID containerId(const string& value, const string& parent = "")
{
  ContainerID id;
  id.set_value(value);
  if (!parent.empty()) {
    id.mutable_parent()->set_value(parent);
  }
  return id;
}


template <typename T>
string print(const T& t)
{
  std::ostringstream out;
  out << t;
  return out.str();
}

} // namespace {


TEST(MessagesTest, Defaults)
{
  // `role` reads "*" but counts as unset until set; like 1.2.0's, the
  // field is deprecated.
  FrameworkInfo framework;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  EXPECT_EQ("*", framework.role());
  EXPECT_FALSE(framework.has_role());
#pragma GCC diagnostic pop
  EXPECT_EQ(0.0, framework.failover_timeout());
  EXPECT_FALSE(framework.checkpoint());

  // TASK_STAGING is declared first, so it is the default despite being 6.
  EXPECT_EQ(TASK_STAGING, Task().state());
  EXPECT_EQ(TASK_STAGING, TaskStatus().state());
  EXPECT_EQ(6, TASK_STAGING);

  EXPECT_TRUE(CommandInfo().shell());
  EXPECT_TRUE(CommandInfo::URI().extract());
  EXPECT_EQ("*", Resource().role());
  EXPECT_EQ(5051, SlaveInfo().port());
  EXPECT_EQ(
      ContainerInfo::DockerInfo::HOST, ContainerInfo::DockerInfo().network());
  EXPECT_TRUE(Image().cached());
  EXPECT_EQ(15.0, HealthCheck().delay_seconds());
  EXPECT_EQ(3u, HealthCheck().consecutive_failures());
  EXPECT_EQ(20.0, CheckInfo().timeout_seconds());

  EXPECT_EQ(authorization::UNKNOWN, authorization::Request().action());
}


TEST(MessagesTest, ActionAliasesShareANumber)
{
  EXPECT_EQ(
      authorization::REGISTER_FRAMEWORK,
      authorization::REGISTER_FRAMEWORK_WITH_ROLE);
  EXPECT_EQ(authorization::GET_QUOTA, authorization::GET_QUOTA_WITH_ROLE);

  // The name of an aliased number is the first one declared.
  EXPECT_EQ(
      "REGISTER_FRAMEWORK",
      authorization::Action_Name(authorization::REGISTER_FRAMEWORK_WITH_ROLE));
  EXPECT_EQ(
      "TEARDOWN_FRAMEWORK",
      authorization::Action_Name(
          authorization::TEARDOWN_FRAMEWORK_WITH_PRINCIPAL));
  EXPECT_EQ(
      "GET_ENDPOINT_WITH_PATH",
      authorization::Action_Name(authorization::GET_ENDPOINT_WITH_PATH));
  EXPECT_EQ(
      "", authorization::Action_Name(static_cast<authorization::Action>(27)));

  EXPECT_EQ(0, authorization::Action_MIN);
  EXPECT_EQ(26, authorization::Action_MAX);
  EXPECT_EQ(authorization::SET_LOG_LEVEL, authorization::Action_MAX);

  authorization::Action parsed;
  ASSERT_TRUE(authorization::Action_Parse("UPDATE_WEIGHT_WITH_ROLE", &parsed));
  EXPECT_EQ(authorization::UPDATE_WEIGHT, parsed);
}


TEST(MessagesTest, RequiredFields)
{
  // A step without data is not a valid message; ProtobufProcess drops it.
  internal::AuthenticationStepMessage step;
  EXPECT_FALSE(step.IsInitialized());
  step.set_data("");
  EXPECT_TRUE(step.IsInitialized());

  slave::ContainerConfig config;
  EXPECT_EQ("command_info, directory", config.InitializationErrorString());

  ExecutorInfo executor;
  EXPECT_EQ("executor_id", executor.InitializationErrorString());

  FrameworkInfo framework;
  EXPECT_EQ("user, name", framework.InitializationErrorString());

  Parameters parameters;
  parameters.add_parameter()->set_key("k");
  EXPECT_EQ("parameter[0].value", parameters.InitializationErrorString());
}


// The audit records print a ContainerConfig with jsonify: its fields in
// declaration order (not by number, not by name), the image manifests of
// provisioned images included.
TEST(MessagesTest, ContainerConfigPrintsInDeclarationOrder)
{
  mesos::slave::ContainerConfig config;
  config.set_directory("/sandbox");
  config.mutable_command_info()->set_value("true");
  config.mutable_executor_info()->mutable_executor_id()->set_value("e");
  config.mutable_docker()->mutable_manifest()->set_id("image");
  config.mutable_appc()->mutable_manifest()->set_name("app");

  const std::string text = jsonify(JSON::Protobuf(config));
  const size_t executor = text.find("\"executor_info\"");
  const size_t command = text.find("\"command_info\"");
  const size_t directory = text.find("\"directory\"");
  const size_t docker =
      text.find("\"docker\":{\"manifest\":{\"id\":\"image\"}}");
  const size_t appc = text.find("\"appc\":{\"manifest\":{");
  EXPECT_EQ(1u, executor) << text;
  EXPECT_LT(executor, command) << text;
  EXPECT_LT(command, directory) << text;
  EXPECT_LT(directory, docker) << text;
  EXPECT_LT(docker, appc) << text;
}


TEST(MessagesTest, ObjectsCarryTheirTypes)
{
  authorization::Object object;
  object.mutable_quota_info()->set_role("ads");
  object.mutable_framework_info()->set_user("root");
  EXPECT_EQ("ads", object.quota_info().role());

  DockerTaskExecutorPrepareInfo prepare;
  prepare.mutable_taskenvironment()->add_variables()->set_name("A");
  EXPECT_EQ(1, prepare.taskenvironment().variables_size());
  EXPECT_FALSE(prepare.has_executorenvironment());

  Quota quota{object.quota_info()};
  EXPECT_EQ("ads", quota.info.role());
}


TEST(TypeUtilsTest, ContainerIdsCompareWithTheirParents)
{
  EXPECT_EQ(containerId("a"), containerId("a"));
  EXPECT_EQ(containerId("a", "p"), containerId("a", "p"));
  EXPECT_NE(containerId("a", "p"), containerId("a"));
  EXPECT_NE(containerId("a", "p"), containerId("a", "q"));
  EXPECT_TRUE(containerId("a", "p") == "a");

  EXPECT_EQ("a", print(containerId("a")));
  EXPECT_EQ("p.a", print(containerId("a", "p")));

  std::unordered_set<ContainerID> ids = {
      containerId("a"), containerId("a", "p"), containerId("a")};
  EXPECT_EQ(2u, ids.size());
  EXPECT_EQ(1u, ids.count(containerId("a", "p")));
  EXPECT_EQ(0u, ids.count(containerId("a", "q")));
}


TEST(TypeUtilsTest, IdsCompareByValue)
{
  TaskID a, b;
  a.set_value("task-1");
  b.set_value("task-2");
  EXPECT_EQ(a, a);
  EXPECT_NE(a, b);
  EXPECT_LT(a, b);
  EXPECT_TRUE(a == "task-1");
  EXPECT_EQ("task-1", print(a));
  EXPECT_EQ(1u, std::unordered_set<TaskID>({a, a}).size());

  EXPECT_EQ("TASK_RUNNING", print(TASK_RUNNING));
}


TEST(TypeUtilsTest, LabelsAndEnvironmentsCompareUnordered)
{
  Labels left, right;
  Label* label = left.add_labels();
  label->set_key("a");
  label->set_value("1");
  label = left.add_labels();
  label->set_key("b");
  right.add_labels()->CopyFrom(left.labels(1));
  right.add_labels()->CopyFrom(left.labels(0));
  EXPECT_EQ(left, right);

  right.mutable_labels(0)->set_value("2");
  EXPECT_NE(left, right);

  Environment first, second;
  first.add_variables()->set_name("A");
  first.add_variables()->set_name("B");
  second.add_variables()->set_name("B");
  second.add_variables()->set_name("A");
  EXPECT_TRUE(first == second);
  second.mutable_variables(0)->set_value("x");
  EXPECT_FALSE(first == second);
}
