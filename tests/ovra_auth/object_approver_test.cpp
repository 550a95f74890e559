// The object approver: decisions from a frozen permissions list (action
// bits, prefix matching, the superuser id, every pair required), its
// errors, and the audit record of each decision.

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <mesos/authorizer/authorizer.hpp>

#include <process/pid.hpp>

#include <stout/none.hpp>
#include <stout/option.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/object_approver.hpp"

#include "support/framework_role.hpp"
#include "support/permission_grants.hpp"
#include "support/audit_records.hpp"
#include "support/log_capture.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

using corvanta::LogFmt;

using mesos::ObjectApprover;

using mesos::ovra::ApproverContext;
using mesos::ovra::OVRAAuthorizerObjectApprover;
using mesos::ovra::Permission;
using mesos::ovra::Permissions;
using mesos::ovra::ResourceMapping;
using mesos::ovra::SharedPermissions;

namespace {

SharedPermissions permissions(const std::vector<Grant>& grants)
{
  return std::make_shared<const mesos::ovra::PermissionIndex>(
      permissionList(grants));
}


OVRAAuthorizerObjectApprover approver(
    const std::string& host,
    const std::vector<Grant>& grants,
    authz::Action action,
    LogFmt::Audit audit = LogFmt::Audit::ENABLED)
{
  authz::Subject subject;
  subject.set_value("alice");

  return OVRAAuthorizerObjectApprover(
      std::make_shared<const ApproverContext>(ApproverContext{
          ResourceMapping("ovra:mesos", host, "OVRA_SPACE"),
          host == "master" ? LogFmt::Authorizer::MESOS_MASTER
                           : LogFmt::Authorizer::MESOS_AGENT,
          process::UPID("ovra_authorizer(1)@127.0.0.1:5050"),
          LogFmt(audit)}),
      permissions(grants),
      subject,
      action);
}


authz::Object frameworkObject(const std::string& role)
{
  authz::Object object;
  object.mutable_framework_info()->set_user("nobody");
  object.mutable_framework_info()->set_name("marathon");
  setRole(object.mutable_framework_info(), role);
  return object;
}


authz::Object runTaskObject(const std::string& user, const std::string& space)
{
  authz::Object object = frameworkObject("dev");
  object.mutable_framework_info()->set_user(user);
  mesos::TaskInfo* task = object.mutable_task_info();
  task->set_name("web");
  task->mutable_task_id()->set_value("web.1");
  task->mutable_slave_id()->set_value("S1");
  mesos::Label* label = task->mutable_labels()->add_labels();
  label->set_key("OVRA_SPACE");
  label->set_value(space);
  return object;
}


authz::Object valueObject(const std::string& value)
{
  authz::Object object;
  object.set_value(value);
  return object;
}


authz::Object executorObject()
{
  authz::Object object = frameworkObject("dev");
  object.mutable_executor_info()->mutable_executor_id()->set_value("e");
  object.mutable_command_info()->set_user("alice");
  return object;
}


// "allow", "deny" or "error: " and the error.
std::string outcome(const Try<bool>& decision)
{
  if (decision.isError()) {
    return "error: " + decision.error();
  }
  return decision.get() ? "allow" : "deny";
}


// The approver's view of `message`, pointing into it.
Option<ObjectApprover::Object> objectOf(const Option<authz::Object>& message)
{
  if (message.isSome()) {
    return ObjectApprover::Object(message.get());
  }
  return None();
}


Try<bool> decide(
    const OVRAAuthorizerObjectApprover& approver,
    const Option<authz::Object>& message)
{
  return approver.approved(objectOf(message));
}


Try<mesos::ovra::AuthorizationExplanation> explain(
    const OVRAAuthorizerObjectApprover& approver,
    const Option<authz::Object>& message)
{
  return approver.explain(objectOf(message));
}

} // namespace {


TEST(ObjectApproverTest, DecidesFromEveryRequiredPair)
{
  const Grant taskUser = {"ovra:mesos:master:task:user:nobody", {"create"}};
  const Grant taskSpace = {"ovra:mesos:master:task:app_id", {"create"}};

  const struct
  {
    std::string name;
    std::string host;
    std::vector<Grant> grants;
    authz::Action action;
    Option<authz::Object> object;
    bool allowed;
  } cases[] = {
      {"superuser ignores the action bits",
       "master",
       {{"ovra:superuser", {"read"}}},
       authz::UPDATE_WEIGHT,
       valueObject("dev"),
       true},
      {"superuser runs tasks",
       "agent",
       {{"ovra:superuser", {"read"}}},
       authz::RUN_TASK,
       runTaskObject("root", "/prod"),
       true},
      {"superuser needs a valid entry",
       "master",
       {{"x", {"read"}}, {"ovra:superuser", {"full"}}},
       authz::SET_LOG_LEVEL,
       None(),
       true},
      {"framework read covers any role",
       "master",
       {{"ovra:mesos:master:framework", {"read"}}},
       authz::VIEW_FRAMEWORK,
       frameworkObject("anything"),
       true},
      {"framework read does not register",
       "master",
       {{"ovra:mesos:master:framework", {"read"}}},
       authz::REGISTER_FRAMEWORK,
       valueObject("dev"),
       false},
      {"run task with user and space",
       "master",
       {taskSpace, taskUser},
       authz::RUN_TASK,
       runTaskObject("nobody", "/prod/web"),
       true},
      {"run task without the user grant",
       "master",
       {taskSpace},
       authz::RUN_TASK,
       runTaskObject("nobody", "/prod/web"),
       false},
      {"run task without the space grant",
       "master",
       {taskUser},
       authz::RUN_TASK,
       runTaskObject("nobody", "/prod/web"),
       false},
      {"run task as another user",
       "master",
       {taskSpace, taskUser},
       authz::RUN_TASK,
       runTaskObject("root", "/prod/web"),
       false},
      {"trailing slash does not cover the space",
       "master",
       {{"ovra:mesos:master:task:app_id:/prod/", {"create"}}, taskUser},
       authz::RUN_TASK,
       runTaskObject("nobody", "/prod/web"),
       false},
      {"space prefix covers the space",
       "master",
       {{"ovra:mesos:master:task:app_id:/prod", {"create"}}, taskUser},
       authz::RUN_TASK,
       runTaskObject("nobody", "/prod/web"),
       true},
      {"space prefix is token-wise",
       "master",
       {{"ovra:mesos:master:task:app_id:/prod", {"create"}}, taskUser},
       authz::RUN_TASK,
       runTaskObject("nobody", "/production"),
       false},
      {"prefix alone on a master",
       "master",
       {{"ovra:mesos", {"full"}}},
       authz::LAUNCH_NESTED_CONTAINER,
       executorObject(),
       true},
      {"prefix alone on an agent",
       "agent",
       {{"ovra:mesos", {"full"}}},
       authz::KILL_NESTED_CONTAINER,
       executorObject(),
       true},
      {"master grant on an agent",
       "agent",
       {{"ovra:mesos:master:flags", {"read"}}},
       authz::VIEW_FLAGS,
       None(),
       false},
      {"empty id matches nothing",
       "master",
       {{"", {"full"}}},
       authz::VIEW_FLAGS,
       None(),
       false},
      {"update does not read",
       "master",
       {{"ovra:mesos:master:flags", {"update"}}},
       authz::VIEW_FLAGS,
       None(),
       false},
      {"full reads",
       "master",
       {{"ovra:mesos:master:flags", {"full"}}},
       authz::VIEW_FLAGS,
       None(),
       true},
      {"actions of two entries do not add up",
       "master",
       {{"ovra:mesos:master:nested_container", {"create"}},
        {"ovra:mesos:master:nested_container:role:dev", {"read"}}},
       authz::WAIT_NESTED_CONTAINER,
       executorObject(),
       true},
      {"second pair needs its own grant",
       "master",
       {{"ovra:mesos:master:nested_container:role:dev", {"create"}}},
       authz::LAUNCH_NESTED_CONTAINER,
       executorObject(),
       false},
      {"no permissions",
       "master",
       {},
       authz::GET_ENDPOINT_WITH_PATH,
       valueObject("/metrics/snapshot"),
       false},
      {"endpoint by path prefix",
       "master",
       {{"ovra:mesos:master:endpoint:path:/metrics", {"read"}}},
       authz::GET_ENDPOINT_WITH_PATH,
       valueObject("/metrics/snapshot"),
       true},
  };

  for (const auto& c : cases) {
    const Try<bool> decision =
        decide(approver(c.host, c.grants, c.action), c.object);
    ASSERT_TRUE(decision.isSome()) << c.name << ": " << decision.error();
    EXPECT_EQ(c.allowed, decision.get()) << c.name;

    // The operator's explanation reaches the same decision.
    const Try<mesos::ovra::AuthorizationExplanation> explanation =
        explain(approver(c.host, c.grants, c.action), c.object);
    ASSERT_TRUE(explanation.isSome()) << c.name;
    EXPECT_EQ(c.allowed, explanation->allowed) << c.name;
  }
}


TEST(ObjectApproverTest, ExplainsEveryPairWithItsGrantAndAuditsNothing)
{
  LogCapture log;

  // Both pairs are listed although the first one already denies.
  const Try<mesos::ovra::AuthorizationExplanation> partial = explain(
      approver(
          "master",
          {{"ovra:mesos:master:endpoint", {"read"}},
           {"ovra:mesos:master:task:app_id:/prod", {"create", "read"}}},
          authz::RUN_TASK),
      runTaskObject("nobody", "/prod/web"));
  ASSERT_TRUE(partial.isSome());
  EXPECT_FALSE(partial->allowed);
  EXPECT_EQ("alice", partial->principal);
  ASSERT_EQ(2u, partial->required.size());
  EXPECT_EQ(
      "ovra:mesos:master:task:user:nobody", partial->required[0].resourceId);
  EXPECT_EQ("create", partial->required[0].action);
  EXPECT_TRUE(partial->required[0].grantedBy.isNone());
  EXPECT_EQ(
      "ovra:mesos:master:task:app_id:/prod/web",
      partial->required[1].resourceId);
  ASSERT_TRUE(partial->required[1].grantedBy.isSome());
  EXPECT_EQ(
      "ovra:mesos:master:task:app_id:/prod",
      partial->required[1].grantedBy->resourceId);
  EXPECT_EQ("create | read", partial->required[1].grantedBy->actions);

  // The first permission that grants a pair is named, the superuser too.
  const Try<mesos::ovra::AuthorizationExplanation> superuser = explain(
      approver(
          "master",
          {{"ovra:superuser", {"read"}}, {"ovra:mesos", {"full"}}},
          authz::VIEW_FLAGS),
      None());
  ASSERT_TRUE(superuser.isSome());
  EXPECT_TRUE(superuser->allowed);
  ASSERT_EQ(1u, superuser->required.size());
  ASSERT_TRUE(superuser->required[0].grantedBy.isSome());
  EXPECT_EQ("ovra:superuser", superuser->required[0].grantedBy->resourceId);

  // Unmappable questions fail exactly as they fail approved().
  const OVRAAuthorizerObjectApprover unknown =
      approver("master", {{"ovra:superuser", {"full"}}}, authz::UNKNOWN);
  const Try<mesos::ovra::AuthorizationExplanation> failed =
      explain(unknown, valueObject("x"));
  ASSERT_TRUE(failed.isError());
  EXPECT_EQ(decide(unknown, valueObject("x")).error(), failed.error());

  // approved() above wrote nothing either: it failed.
  EXPECT_TRUE(audit_records::records(log).empty());
}


TEST(ObjectApproverTest, UnmappableQuestionsAreFailuresNotDecisions)
{
  const std::vector<Grant> superuser = {{"ovra:superuser", {"full"}}};

  const struct
  {
    authz::Action action;
    Option<authz::Object> object;
    std::string error;
  } cases[] = {
      {authz::UNKNOWN,
       valueObject("x"),
       "Internal authorization failure: Mapping of requested action 'UNKNOWN' "
       "with object { value: \"x\" } to a OVRA resource action is not "
       "implemented"},
      {static_cast<authz::Action>(27),
       None(),
       "Internal authorization failure: Mapping of requested action '' to a "
       "OVRA resource action is not implemented"},
      {authz::VIEW_EXECUTOR,
       frameworkObject("dev"),
       "Internal authorization failure: Mapping of requested action "
       "'VIEW_EXECUTOR' requires an object with executor_info"},
      {authz::RUN_TASK,
       None(),
       "Internal authorization failure: Mapping of requested action "
       "'RUN_TASK' requires an object"},
  };

  for (const auto& c : cases) {
    LogCapture log;
    // Even the superuser gets no decision for a question that cannot be
    // mapped, and no audit record is written for it.
    const Try<bool> decision =
        decide(approver("master", superuser, c.action), c.object);
    ASSERT_TRUE(decision.isError()) << c.action;
    EXPECT_EQ(c.error, decision.error());
    EXPECT_TRUE(audit_records::records(log).empty());
  }
}


// A task refused with a label of 40 kB: the record, which glog would cut
// at 30,000 bytes, keeps every key, its object cut with the marker of its
// size.
TEST(ObjectApproverTest, ARecordOfAHugeObjectKeepsEveryKey)
{
  authz::Object task = runTaskObject("nobody", "/prod/web");
  mesos::Label* label =
      task.mutable_task_info()->mutable_labels()->add_labels();
  label->set_key("NOTE");
  label->set_value(std::string(40 * 1024, 'x'));

  LogCapture log;
  EXPECT_EQ(
      "deny", outcome(decide(approver("master", {}, authz::RUN_TASK), task)));

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  for (const char* key :
       {"type",
        "timestamp",
        "authorizer",
        "uid",
        "action",
        "object",
        "result",
        "reason",
        "dstip",
        "dstport"}) {
    EXPECT_EQ(1u, records[0].count(key)) << key;
  }
  EXPECT_EQ("deny", records[0].at("result"));
  EXPECT_EQ("\"RUN_TASK\"", records[0].at("action"));
  EXPECT_NE(
      std::string::npos, records[0].at("object").find(" bytes in all)\""));
}


TEST(ObjectApproverTest, EachDecisionIsAuditedExceptListings)
{
  const std::vector<Grant> grants = {
      {"ovra:mesos:master:endpoint:path:/metrics", {"read"}},
      {"ovra:mesos:master:framework", {"read"}},
      {"ovra:mesos:master:container", {"read"}},
  };

  {
    LogCapture log;
    const OVRAAuthorizerObjectApprover endpoint =
        approver("master", grants, authz::GET_ENDPOINT_WITH_PATH);

    // One approver decides many objects, each with its own record.
    EXPECT_EQ("allow", outcome(decide(endpoint, valueObject("/metrics"))));
    EXPECT_EQ("deny", outcome(decide(endpoint, valueObject("/flags"))));

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(2u, records.size());

    const std::set<std::string> keys = {
        "type",
        "timestamp",
        "authorizer",
        "uid",
        "action",
        "object",
        "result",
        "reason",
        "dstip",
        "dstport"};
    for (const audit_records::Record& record : records) {
      std::set<std::string> present;
      for (const auto& [key, value] : record) {
        present.insert(key);
      }
      EXPECT_EQ(keys, present);
      EXPECT_EQ("\"mesos-master\"", record.at("authorizer"));
      EXPECT_EQ("\"alice\"", record.at("uid"));
      EXPECT_EQ("\"GET_ENDPOINT_WITH_PATH\"", record.at("action"));
      EXPECT_EQ("\"\"", record.at("reason"));
      EXPECT_EQ("127.0.0.1", record.at("dstip"));
      EXPECT_EQ("5050", record.at("dstport"));
    }

    EXPECT_EQ("allow", records[0].at("result"));
    EXPECT_EQ("\"value: \\\"/metrics\\\"\"", records[0].at("object"));
    EXPECT_EQ("deny", records[1].at("result"));
    EXPECT_EQ("\"value: \\\"/flags\\\"\"", records[1].at("object"));
  }

  {
    LogCapture log;
    EXPECT_EQ(
        "deny",
        outcome(decide(approver("agent", grants, authz::VIEW_FLAGS), None())));

    const std::vector<audit_records::Record> records =
        audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("\"mesos-agent\"", records[0].at("authorizer"));
    EXPECT_EQ("\"VIEW_FLAGS\"", records[0].at("action"));
    EXPECT_EQ("\"\"", records[0].at("object"));
    EXPECT_EQ("deny", records[0].at("result"));
  }

  // The listings are filtered object by object: never audited.
  authz::Object task = frameworkObject("dev");
  task.mutable_task_info()->set_name("t");
  task.mutable_task_info()->mutable_task_id()->set_value("t");
  task.mutable_task_info()->mutable_slave_id()->set_value("s");
  authz::Object executor = executorObject();

  const struct
  {
    authz::Action action;
    authz::Object object;
  } listings[] = {
      {authz::VIEW_FRAMEWORK, frameworkObject("dev")},
      {authz::VIEW_TASK, task},
      {authz::VIEW_EXECUTOR, executor},
      {authz::VIEW_CONTAINER, executor},
  };

  for (const auto& listing : listings) {
    LogCapture log;
    const Try<bool> decision =
        decide(approver("master", grants, listing.action), listing.object);
    ASSERT_TRUE(decision.isSome()) << decision.error();
    EXPECT_TRUE(audit_records::records(log).empty()) << listing.action;
  }
}


TEST(ObjectApproverTest, DisabledAuditWritesNothing)
{
  LogCapture log;
  EXPECT_EQ(
      "allow",
      outcome(decide(
          approver(
              "master",
              {{"ovra:superuser", {"full"}}},
              authz::RUN_TASK,
              LogFmt::Audit::DISABLED),
          runTaskObject("nobody", "/a"))));
  EXPECT_TRUE(audit_records::records(log).empty());
}


TEST(ObjectApproverTest, ApproversMayBeUsedFromManyThreads)
{
  // Mesos calls one approver from several actors at once; a shared
  // permissions list and the audit writer must bear it.
  const OVRAAuthorizerObjectApprover shared = approver(
      "master",
      {{"ovra:mesos:master:task:app_id:/prod", {"create"}},
       {"ovra:mesos:master:task:user:nobody", {"create"}}},
      authz::RUN_TASK);

  const authz::Object allowed = runTaskObject("nobody", "/prod/web");
  const authz::Object denied = runTaskObject("root", "/prod/web");

  std::vector<std::string> outcomes(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    threads.emplace_back([&, i]() {
      for (int n = 0; n < 50; ++n) {
        outcomes[i] = outcome(decide(shared, i % 2 == 0 ? allowed : denied));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }

  EXPECT_EQ(
      (std::vector<std::string>{"allow", "deny", "allow", "deny"}), outcomes);
}
