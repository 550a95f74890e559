// The mapping of Mesos actions and objects to IAM resource ids and
// actions: every row of the table, the aliases, the space label rules, the
// object text, and the errors for unmapped actions and missing members.

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <mesos/authorizer/authorizer.hpp>

#include <stout/option.hpp>
#include <stout/stringify.hpp>

#include "ovra_auth/resource_mapping.hpp"

#include "support/framework_role.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

using mesos::ObjectApprover;

using mesos::ovra::ResourceAction;
using mesos::ovra::ResourceMapping;

namespace {

// Builds an authorization::Object member by member.
class ObjectBuilder
{
public:
  ObjectBuilder& value(const std::string& value)
  {
    object_.set_value(value);
    return *this;
  }

  // A framework of `user`; its role field only when `role` is given.
  ObjectBuilder& framework(
      const std::string& user,
      const Option<std::string>& role = None())
  {
    mesos::FrameworkInfo* framework = object_.mutable_framework_info();
    framework->set_user(user);
    framework->set_name("marathon");
    if (role.isSome()) {
      setRole(framework, role.get());
    }
    return *this;
  }

  ObjectBuilder& taskInfo(
      const Option<std::string>& space = None(),
      const Option<std::string>& commandUser = None(),
      const Option<std::string>& executorUser = None())
  {
    mesos::TaskInfo* task = object_.mutable_task_info();
    task->set_name("web");
    task->mutable_task_id()->set_value("web.1");
    task->mutable_slave_id()->set_value("S1");
    if (space.isSome()) {
      label(task->mutable_labels(), "OVRA_SPACE", space.get());
    }
    if (commandUser.isSome()) {
      task->mutable_command()->set_user(commandUser.get());
    }
    if (executorUser.isSome()) {
      mesos::ExecutorInfo* executor = task->mutable_executor();
      executor->mutable_executor_id()->set_value("e");
      executor->mutable_command()->set_user(executorUser.get());
    }
    return *this;
  }

  ObjectBuilder& task(const Option<std::string>& space = None())
  {
    mesos::Task* task = object_.mutable_task();
    task->set_name("web");
    task->mutable_task_id()->set_value("web.1");
    task->mutable_framework_id()->set_value("F1");
    task->mutable_slave_id()->set_value("S1");
    task->set_state(mesos::TASK_RUNNING);
    if (space.isSome()) {
      label(task->mutable_labels(), "OVRA_SPACE", space.get());
    }
    return *this;
  }

  ObjectBuilder& executor(const Option<std::string>& space = None())
  {
    mesos::ExecutorInfo* executor = object_.mutable_executor_info();
    executor->mutable_executor_id()->set_value("e");
    if (space.isSome()) {
      label(executor->mutable_labels(), "OVRA_SPACE", space.get());
    }
    return *this;
  }

  ObjectBuilder& command(const Option<std::string>& user)
  {
    mesos::CommandInfo* command = object_.mutable_command_info();
    command->set_value("sleep 10");
    if (user.isSome()) {
      command->set_user(user.get());
    }
    return *this;
  }

  ObjectBuilder& quota(const Option<std::string>& role)
  {
    mesos::quota::QuotaInfo* quota = object_.mutable_quota_info();
    if (role.isSome()) {
      quota->set_role(role.get());
    }
    return *this;
  }

  authz::Object build() const { return object_; }

  operator Option<authz::Object>() const { return object_; }

private:
  static void label(
      mesos::Labels* labels,
      const std::string& key,
      const std::string& value)
  {
    mesos::Label* label = labels->add_labels();
    label->set_key(key);
    label->set_value(value);
  }

  authz::Object object_;
};


ObjectBuilder object()
{
  return ObjectBuilder();
}


// The pairs as "<rid> <action word>" lines, the base written as "B".
std::vector<std::string> pairs(
    const Try<std::vector<ResourceAction>>& result,
    const std::string& base)
{
  std::vector<std::string> lines;
  if (result.isError()) {
    lines.push_back("error: " + result.error());
    return lines;
  }
  for (const ResourceAction& pair : result.get()) {
    std::string rid = pair.rid_;
    if (!base.empty() && rid.compare(0, base.size(), base) == 0) {
      rid = "B" + rid.substr(base.size());
    }
    lines.push_back(rid + " " + mesos::ovra::stringifyAction(pair.action_));
  }
  return lines;
}


Try<std::vector<ResourceAction>> map(
    const ResourceMapping& mapping,
    authz::Action action,
    const Option<authz::Object>& message)
{
  Option<ObjectApprover::Object> object;
  if (message.isSome()) {
    object = ObjectApprover::Object(message.get());
  }
  return mapping.resourceAction(action, object);
}


struct Row
{
  std::string name;
  authz::Action action;
  Option<authz::Object> object;
  std::vector<std::string> expected;
};


// Every value of the enumeration with the objects Mesos sends for it, and
// the variants each row's rules tell apart.
std::vector<Row> rows()
{
  return {
      {"register with role",
       authz::REGISTER_FRAMEWORK,
       object().value("dev"),
       {"B:framework:role:dev create"}},
      {"register without object",
       authz::REGISTER_FRAMEWORK,
       None(),
       {"B:framework create"}},
      {"register without value",
       authz::REGISTER_FRAMEWORK,
       object().framework("nobody", "dev"),
       {"B:framework create"}},

      {"run task: framework user and space",
       authz::RUN_TASK,
       object().framework("nobody").taskInfo("/prod/web"),
       {"B:task:user:nobody create", "B:task:app_id:/prod/web create"}},
      {"run task: no space label",
       authz::RUN_TASK,
       object().framework("nobody").taskInfo(),
       {"B:task:user:nobody create"}},
      {"run task: command user wins",
       authz::RUN_TASK,
       object().framework("nobody").taskInfo(None(), "root", "alice"),
       {"B:task:user:root create"}},
      {"run task: executor user next",
       authz::RUN_TASK,
       object().framework("nobody").taskInfo(None(), None(), "alice"),
       {"B:task:user:alice create"}},
      {"run task: task_info alone names the user",
       authz::RUN_TASK,
       object().taskInfo("/a", "root"),
       {"B:task:user:root create", "B:task:app_id:/a create"}},
      {"run task: framework alone",
       authz::RUN_TASK,
       object().framework("nobody"),
       {"B:task:user:nobody create"}},
      {"run task: empty space",
       authz::RUN_TASK,
       object().framework("nobody").taskInfo(""),
       {"B:task:user:nobody create", "B:task:app_id: create"}},

      {"teardown",
       authz::TEARDOWN_FRAMEWORK,
       object().value("ops"),
       {"B:framework:principal:ops delete"}},
      {"teardown without value",
       authz::TEARDOWN_FRAMEWORK,
       None(),
       {"B:framework delete"}},

      {"reserve",
       authz::RESERVE_RESOURCES,
       object().value("dev"),
       {"B:reservation:role:dev create"}},
      {"reserve without value",
       authz::RESERVE_RESOURCES,
       object(),
       {"B:reservation create"}},
      {"unreserve",
       authz::UNRESERVE_RESOURCES,
       object().value("ops"),
       {"B:reservation:principal:ops delete"}},
      {"unreserve without value",
       authz::UNRESERVE_RESOURCES,
       None(),
       {"B:reservation delete"}},

      {"create volume",
       authz::CREATE_VOLUME,
       object().value("dev"),
       {"B:volume:role:dev create"}},
      {"create volume without value",
       authz::CREATE_VOLUME,
       None(),
       {"B:volume create"}},
      {"destroy volume",
       authz::DESTROY_VOLUME,
       object().value("ops"),
       {"B:volume:principal:ops delete"}},
      {"destroy volume without value",
       authz::DESTROY_VOLUME,
       None(),
       {"B:volume delete"}},

      {"endpoint",
       authz::GET_ENDPOINT_WITH_PATH,
       object().value("/metrics/snapshot"),
       {"B:endpoint:path:/metrics/snapshot read"}},
      {"endpoint without value",
       authz::GET_ENDPOINT_WITH_PATH,
       None(),
       {"B:endpoint read"}},

      {"view role is the weight resource",
       authz::VIEW_ROLE,
       object().value("dev"),
       {"B:weight:role:dev read"}},
      {"view role without value", authz::VIEW_ROLE, None(), {"B:weight read"}},
      {"update weight",
       authz::UPDATE_WEIGHT,
       object().value("dev"),
       {"B:weight:role:dev update"}},
      {"update weight without value",
       authz::UPDATE_WEIGHT,
       None(),
       {"B:weight update"}},

      {"get quota",
       authz::GET_QUOTA,
       object().value("dev"),
       {"B:quota:role:dev read"}},
      {"get quota without value", authz::GET_QUOTA, None(), {"B:quota read"}},
      {"update quota takes the quota's role",
       authz::UPDATE_QUOTA,
       object().value("ignored").quota("dev"),
       {"B:quota:role:dev update"}},
      {"update quota without quota_info",
       authz::UPDATE_QUOTA,
       object().value("dev"),
       {"B:quota update"}},
      {"update quota without object",
       authz::UPDATE_QUOTA,
       None(),
       {"B:quota update"}},

      {"view framework",
       authz::VIEW_FRAMEWORK,
       object().framework("nobody", "dev"),
       {"B:framework:role:dev read"}},
      {"view framework of default role",
       authz::VIEW_FRAMEWORK,
       object().framework("nobody"),
       {"B:framework:role:* read"}},

      {"view task: space of the task",
       authz::VIEW_TASK,
       object().framework("nobody", "dev").task("/prod").taskInfo("/other"),
       {"B:task:app_id:/prod read"}},
      {"view task: task without space ignores task_info",
       authz::VIEW_TASK,
       object().framework("nobody", "dev").task().taskInfo("/other"),
       {"B:framework:role:dev read"}},
      {"view task: task_info alone",
       authz::VIEW_TASK,
       object().framework("nobody", "dev").taskInfo("/other"),
       {"B:task:app_id:/other read"}},
      {"view task: no space",
       authz::VIEW_TASK,
       object().framework("nobody", "dev").taskInfo(),
       {"B:framework:role:dev read"}},

      {"view executor",
       authz::VIEW_EXECUTOR,
       object().framework("nobody", "dev").executor("/prod"),
       {"B:executor:app_id:/prod read"}},
      {"view executor without space",
       authz::VIEW_EXECUTOR,
       object().framework("nobody", "dev").executor(),
       {"B:framework:role:dev read"}},

      {"sandbox: space",
       authz::ACCESS_SANDBOX,
       object().framework("nobody", "dev").executor("/prod"),
       {"B:sandbox:app_id:/prod read"}},
      {"sandbox: role",
       authz::ACCESS_SANDBOX,
       object().framework("nobody", "dev").executor(),
       {"B:framework:role:dev read"}},
      {"sandbox: framework only",
       authz::ACCESS_SANDBOX,
       object().framework("nobody"),
       {"B:framework:role:* read"}},
      {"sandbox: neither",
       authz::ACCESS_SANDBOX,
       object().value("x"),
       {"B:sandbox read"}},
      {"sandbox: executor without space nor framework",
       authz::ACCESS_SANDBOX,
       object().executor(),
       {"B:sandbox read"}},

      {"mesos log", authz::ACCESS_MESOS_LOG, None(), {"B:log read"}},
      {"mesos log ignores the object",
       authz::ACCESS_MESOS_LOG,
       object().value("x"),
       {"B:log read"}},
      {"flags", authz::VIEW_FLAGS, None(), {"B:flags read"}},

      {"launch nested: space and user",
       authz::LAUNCH_NESTED_CONTAINER,
       object().framework("nobody", "dev").executor("/a").command("alice"),
       {"B:nested_container:app_id:/a create",
        "B:nested_container:user:alice create"}},
      {"launch nested: role, command without user",
       authz::LAUNCH_NESTED_CONTAINER,
       object().framework("nobody", "dev").executor().command(None()),
       {"B:nested_container:role:dev create"}},

      {"kill nested: space",
       authz::KILL_NESTED_CONTAINER,
       object().framework("nobody", "dev").executor("/a"),
       {"B:nested_container:app_id:/a delete"}},
      {"kill nested: role set",
       authz::KILL_NESTED_CONTAINER,
       object().framework("nobody", "dev").executor(),
       {"B:nested_container:role:dev delete"}},
      {"kill nested: role unset",
       authz::KILL_NESTED_CONTAINER,
       object().framework("nobody").executor(),
       {"B:nested_container delete"}},

      {"wait nested: space",
       authz::WAIT_NESTED_CONTAINER,
       object().framework("nobody").executor("/a"),
       {"B:nested_container:app_id:/a read"}},
      {"wait nested: role unset uses the default",
       authz::WAIT_NESTED_CONTAINER,
       object().framework("nobody").executor(),
       {"B:nested_container:role:* read"}},

      {"launch session: space and user",
       authz::LAUNCH_NESTED_CONTAINER_SESSION,
       object().framework("nobody", "dev").executor("/a").command("alice"),
       {"B:nested_container_session:app_id:/a create",
        "B:nested_container_session:user:alice create"}},
      {"launch session: role",
       authz::LAUNCH_NESTED_CONTAINER_SESSION,
       object().framework("nobody", "dev").executor(),
       {"B:nested_container_session:role:dev create"}},

      {"attach input: space",
       authz::ATTACH_CONTAINER_INPUT,
       object().framework("nobody", "dev").executor("/a"),
       {"B:container:app_id:/a update"}},
      {"attach input: role",
       authz::ATTACH_CONTAINER_INPUT,
       object().framework("nobody", "dev").executor(),
       {"B:container:role:dev update"}},
      {"attach output: space",
       authz::ATTACH_CONTAINER_OUTPUT,
       object().framework("nobody", "dev").executor("/a"),
       {"B:container:app_id:/a read"}},
      {"attach output: role",
       authz::ATTACH_CONTAINER_OUTPUT,
       object().framework("nobody", "dev").executor(),
       {"B:container:role:dev read"}},
      {"view container: space",
       authz::VIEW_CONTAINER,
       object().framework("nobody", "dev").executor("/a"),
       {"B:container:app_id:/a read"}},
      {"view container: role",
       authz::VIEW_CONTAINER,
       object().framework("nobody", "dev").executor(),
       {"B:container:role:dev read"}},

      {"log level", authz::SET_LOG_LEVEL, None(), {"B:log_level update"}},
  };
}

} // namespace {


TEST(ResourceMappingTest, EveryRowMapsOnMastersAndAgents)
{
  for (const std::string host : {"master", "agent"}) {
    const ResourceMapping mapping("ovra:mesos", host, "OVRA_SPACE");
    const std::string base = "ovra:mesos:" + host;

    for (const Row& row : rows()) {
      EXPECT_EQ(row.expected, pairs(map(mapping, row.action, row.object), base))
          << host << ": " << row.name;
    }
  }
}


TEST(ResourceMappingTest, TheRowsCoverEveryMappedValue)
{
  std::set<int> covered;
  for (const Row& row : rows()) {
    covered.insert(row.action);
  }

  for (int value = authz::Action_MIN + 1; value <= authz::Action_MAX; ++value) {
    EXPECT_EQ(1u, covered.count(value))
        << authz::Action_Name(static_cast<authz::Action>(value));
  }
}


TEST(ResourceMappingTest, AliasesMapLikeTheirValue)
{
  const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");

  const struct
  {
    authz::Action alias;
    std::string expected;
  } cases[] = {
      {authz::REGISTER_FRAMEWORK_WITH_ROLE, "B:framework:role:v create"},
      {authz::TEARDOWN_FRAMEWORK_WITH_PRINCIPAL,
       "B:framework:principal:v delete"},
      {authz::RESERVE_RESOURCES_WITH_ROLE, "B:reservation:role:v create"},
      {authz::UNRESERVE_RESOURCES_WITH_PRINCIPAL,
       "B:reservation:principal:v delete"},
      {authz::CREATE_VOLUME_WITH_ROLE, "B:volume:role:v create"},
      {authz::DESTROY_VOLUME_WITH_PRINCIPAL, "B:volume:principal:v delete"},
      {authz::UPDATE_WEIGHT_WITH_ROLE, "B:weight:role:v update"},
      {authz::GET_QUOTA_WITH_ROLE, "B:quota:role:v read"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(
        std::vector<std::string>{c.expected},
        pairs(map(mapping, c.alias, object().value("v")), "ovra:mesos:master"))
        << c.alias;
  }
}


TEST(ResourceMappingTest, PrefixAndHostFormTheBase)
{
  const ResourceMapping mapping("acme:cluster", "edge", "OVRA_SPACE");

  EXPECT_EQ(
      std::vector<std::string>{"acme:cluster:edge:flags read"},
      pairs(map(mapping, authz::VIEW_FLAGS, None()), ""));
}


TEST(ResourceMappingTest, TheSpaceLabelIsMatchedExactlyAndFirstWins)
{
  const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");

  auto executorWith =
      [](const std::vector<std::pair<std::string, Option<std::string>>>& labels,
         bool labelsSet = true) {
        mesos::ExecutorInfo executor;
        executor.mutable_executor_id()->set_value("e");
        if (labelsSet) {
          executor.mutable_labels();
        }
        for (const auto& [key, value] : labels) {
          mesos::Label* label = executor.mutable_labels()->add_labels();
          label->set_key(key);
          if (value.isSome()) {
            label->set_value(value.get());
          }
        }
        return executor;
      };

  const struct
  {
    std::string name;
    mesos::ExecutorInfo executor;
    Option<std::string> space;
  } cases[] = {
      {"no labels field", executorWith({}, false), None()},
      {"empty labels", executorWith({}), None()},
      {"lower-case key", executorWith({{"ovra_space", "/a"}}), None()},
      {"key with blank", executorWith({{"OVRA_SPACE ", "/a"}}), None()},
      {"exact key", executorWith({{"X", "/x"}, {"OVRA_SPACE", "/a"}}), "/a"},
      {"first of two",
       executorWith({{"OVRA_SPACE", "/a"}, {"OVRA_SPACE", "/b"}}),
       "/a"},
      {"unset value", executorWith({{"OVRA_SPACE", None()}}), ""},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(c.space, mapping.extractSpace(c.executor)) << c.name;
  }

  // The label key is configurable, and the rule is the same for tasks and
  // task infos.
  const ResourceMapping custom("ovra:mesos", "master", "team/space");
  mesos::Task task;
  mesos::Label* label = task.mutable_labels()->add_labels();
  label->set_key("team/space");
  label->set_value("/t");
  EXPECT_EQ(Option<std::string>("/t"), custom.extractSpace(task));
  EXPECT_TRUE(mapping.extractSpace(task).isNone());

  mesos::TaskInfo taskInfo;
  taskInfo.mutable_labels()->CopyFrom(task.labels());
  EXPECT_EQ(Option<std::string>("/t"), custom.extractSpace(taskInfo));
}


TEST(ResourceMappingTest, UnmappedActionsFailWithTheObject)
{
  const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");

  const struct
  {
    int action;
    Option<authz::Object> object;
    std::string error;
  } cases[] = {
      {0,
       object().value("x"),
       "Mapping of requested action 'UNKNOWN' with object { value: \"x\" } to "
       "a OVRA resource action is not implemented"},
      {0,
       None(),
       "Mapping of requested action 'UNKNOWN' to a OVRA resource action is not "
       "implemented"},
      {0,
       object(),
       "Mapping of requested action 'UNKNOWN' with object {  } to a OVRA "
       "resource action is not implemented"},
      {27,
       None(),
       "Mapping of requested action '' to a OVRA resource action is not "
       "implemented"},
      {1000,
       object().value("x"),
       "Mapping of requested action '' with object { value: \"x\" } to a OVRA "
       "resource action is not implemented"},
      {-1,
       None(),
       "Mapping of requested action '' to a OVRA resource action is not "
       "implemented"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(
        std::vector<std::string>{"error: " + c.error},
        pairs(map(mapping, static_cast<authz::Action>(c.action), c.object), ""))
        << c.action;
  }
}


TEST(ResourceMappingTest, MissingRequiredMembersAreErrorsNotCrashes)
{
  const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");

  const std::string context = "error: Mapping of requested action '";

  const struct
  {
    authz::Action action;
    Option<authz::Object> object;
    std::string error;
  } cases[] = {
      {authz::RUN_TASK, None(), "RUN_TASK' requires an object"},
      {authz::RUN_TASK,
       object().value("x"),
       "RUN_TASK' requires an object with framework_info or a task_info that "
       "names a user"},
      {authz::RUN_TASK,
       object().taskInfo("/a"),
       "RUN_TASK' requires an object with framework_info or a task_info that "
       "names a user"},
      {authz::VIEW_FRAMEWORK, None(), "VIEW_FRAMEWORK' requires an object"},
      {authz::VIEW_FRAMEWORK,
       object().value("x"),
       "VIEW_FRAMEWORK' requires an object with framework_info"},
      {authz::VIEW_TASK,
       object().framework("u"),
       "VIEW_TASK' requires an object with task or task_info"},
      {authz::VIEW_TASK,
       object().task("/a"),
       "VIEW_TASK' requires an object with framework_info"},
      {authz::VIEW_TASK,
       object(),
       "VIEW_TASK' requires an object with framework_info and task or "
       "task_info"},
      {authz::VIEW_EXECUTOR,
       object().framework("u"),
       "VIEW_EXECUTOR' requires an object with executor_info"},
      {authz::VIEW_EXECUTOR,
       object().executor("/a"),
       "VIEW_EXECUTOR' requires an object with framework_info"},
      {authz::ACCESS_SANDBOX, None(), "ACCESS_SANDBOX' requires an object"},
      {authz::LAUNCH_NESTED_CONTAINER,
       None(),
       "LAUNCH_NESTED_CONTAINER' requires an object"},
      {authz::KILL_NESTED_CONTAINER,
       object().executor(),
       "KILL_NESTED_CONTAINER' requires an object with framework_info"},
      {authz::WAIT_NESTED_CONTAINER,
       object().framework("u"),
       "WAIT_NESTED_CONTAINER' requires an object with executor_info"},
      {authz::LAUNCH_NESTED_CONTAINER_SESSION,
       object(),
       "LAUNCH_NESTED_CONTAINER_SESSION' requires an object with "
       "framework_info and executor_info"},
      {authz::ATTACH_CONTAINER_INPUT,
       object().executor("/a"),
       "ATTACH_CONTAINER_INPUT' requires an object with framework_info"},
      {authz::ATTACH_CONTAINER_OUTPUT,
       None(),
       "ATTACH_CONTAINER_OUTPUT' requires an object"},
      {authz::VIEW_CONTAINER,
       object().framework("u"),
       "VIEW_CONTAINER' requires an object with executor_info"},
  };

  for (const auto& c : cases) {
    EXPECT_EQ(
        std::vector<std::string>{context + c.error},
        pairs(map(mapping, c.action, c.object), ""))
        << c.action;
  }
}


TEST(ResourceMappingTest, ObjectsAreWrittenMemberByMemberInFixedOrder)
{
  authz::Object message =
      object()
          .value("v \"q\"")
          .executor("/e")
          .task()
          .taskInfo()
          .framework("nobody")
          .quota("dev")
          .command("alice")
          .build();
  message.mutable_weight_info()->set_weight(1.0);

  const std::string expected = "framework_info { " +
      message.framework_info().DebugString() +
      " }, "
      "task_info { " +
      message.task_info().DebugString() +
      " }, "
      "task { " +
      message.task().DebugString() +
      " }, "
      "executor_info { " +
      message.executor_info().DebugString() +
      " }, "
      "value: \"v \"q\"\"";

  EXPECT_EQ(expected, ResourceMapping::stringifyObject(message));

  // The quota, weight, resource and command are never shown.
  authz::Object hidden = object().quota("dev").command("alice").build();
  EXPECT_EQ("", ResourceMapping::stringifyObject(hidden));

  EXPECT_EQ(
      "framework_info { user: \"nobody\"\nname: \"marathon\"\n }",
      ResourceMapping::stringifyObject(object().framework("nobody").build()));
}
