// The module interfaces as module code sees them: descriptors, the kinds the
// manager matches on, the signatures modules override and the defaults of
// the hooks and isolator steps a module leaves alone.

#include <list>
#include <map>
#include <string>
#include <type_traits>
#include <utility>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>

#include <mesos/module/authenticatee.hpp>
#include <mesos/module/authenticator.hpp>
#include <mesos/module/authorizer.hpp>
#include <mesos/module/hook.hpp>
#include <mesos/module/http_authenticator.hpp>
#include <mesos/module/isolator.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>

#include <stout/hashset.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

using namespace mesos;

using mesos::modules::kind;
using mesos::modules::Module;
using mesos::modules::ModuleBase;

using process::Future;
using process::Owned;
using process::UPID;

using std::string;

namespace {

// Overriding every pure virtual with Mesos's signature must compile.
class TestAuthorizer : public Authorizer
{
public:
  Future<bool> authorized(const authorization::Request&) override
  {
    return true;
  }

  Future<Owned<ObjectApprover>> getObjectApprover(
      const Option<authorization::Subject>&,
      const authorization::Action&) override
  {
    return Owned<ObjectApprover>();
  }
};


class TestApprover : public ObjectApprover
{
public:
  Try<bool> approved(const Option<Object>& object) const noexcept override
  {
    return object.isSome() && object->value != nullptr;
  }
};


class TestAuthenticatee : public Authenticatee
{
public:
  Future<bool> authenticate(
      const UPID&,
      const UPID&,
      const Credential&) override
  {
    return false;
  }
};


class TestAuthenticator : public Authenticator
{
public:
  Try<Nothing> initialize(const Option<Credentials>&) override
  {
    return Nothing();
  }

  Future<Option<string>> authenticate(const UPID&) override
  {
    return Option<string>::none();
  }
};


Authorizer* createAuthorizer(const Parameters&)
{
  return new TestAuthorizer();
}


template <typename T>
bool pendingForever(const Future<T>& future)
{
  return future.isPending();
}

} // namespace {


TEST(ModuleInterfacesTest, Kinds)
{
  EXPECT_STREQ("Authorizer", kind<Authorizer>());
  EXPECT_STREQ(
      "HttpAuthenticator",
      kind<process::http::authentication::Authenticator>());
  EXPECT_STREQ("Authenticatee", kind<Authenticatee>());
  EXPECT_STREQ("Authenticator", kind<Authenticator>());
  EXPECT_STREQ("Hook", kind<Hook>());
  EXPECT_STREQ("Isolator", kind<slave::Isolator>());

  EXPECT_STREQ("2", MESOS_MODULE_API_VERSION);
  EXPECT_STREQ("1.2.0", MESOS_VERSION);
}


TEST(ModuleInterfacesTest, DescriptorFields)
{
  Module<Authorizer> module(
      MESOS_MODULE_API_VERSION,
      MESOS_VERSION,
      "author",
      "author@example.com",
      "description",
      nullptr,
      createAuthorizer);

  // The manager sees the descriptor through ModuleBase.
  const ModuleBase& base = module;
  EXPECT_STREQ("2", base.moduleApiVersion);
  EXPECT_STREQ("1.2.0", base.mesosVersion);
  EXPECT_STREQ("Authorizer", base.kind);
  EXPECT_STREQ("author", base.authorName);
  EXPECT_STREQ("author@example.com", base.authorEmail);
  EXPECT_STREQ("description", base.description);
  EXPECT_EQ(nullptr, base.compatible);

  Authorizer* authorizer = module.create(Parameters());
  ASSERT_NE(nullptr, authorizer);
  Future<bool> authorized = authorizer->authorized(authorization::Request());
  EXPECT_TRUE(authorized.isReady() && authorized.get());
  delete authorizer;
}


TEST(ModuleInterfacesTest, AuthenticationInterfaces)
{
  TestAuthenticatee authenticatee;
  Future<bool> authenticated =
      authenticatee.authenticate(UPID(), UPID(), Credential());
  EXPECT_TRUE(authenticated.isReady() && !authenticated.get());

  TestAuthenticator authenticator;
  EXPECT_TRUE(authenticator.initialize(None()).isSome());
  Future<Option<string>> principal = authenticator.authenticate(UPID());
  ASSERT_TRUE(principal.isReady());
  EXPECT_TRUE(principal.get().isNone());

  static_assert(std::is_abstract<Authorizer>::value, "");
  static_assert(std::is_abstract<Authenticatee>::value, "");
  static_assert(std::is_abstract<Authenticator>::value, "");
  static_assert(std::is_abstract<ObjectApprover>::value, "");
  static_assert(!std::is_abstract<Hook>::value, "");
  static_assert(!std::is_abstract<slave::Isolator>::value, "");
}


TEST(ModuleInterfacesTest, ApproverObjectPointsAtSetFields)
{
  static_assert(
      noexcept(std::declval<const ObjectApprover&>().approved(
          std::declval<const Option<ObjectApprover::Object>&>())),
      "approved() is noexcept");

  const ObjectApprover::Object none;
  EXPECT_EQ(nullptr, none.value);
  EXPECT_EQ(nullptr, none.command_info);

  authorization::Object object;
  object.set_value("/metrics/snapshot");
  object.mutable_task_info()->set_name("task");
  object.mutable_command_info()->set_value("ls");

  const ObjectApprover::Object view(object);
  EXPECT_EQ(&object.value(), view.value);
  EXPECT_EQ(&object.task_info(), view.task_info);
  EXPECT_EQ(&object.command_info(), view.command_info);
  EXPECT_EQ(nullptr, view.framework_info);
  EXPECT_EQ(nullptr, view.task);
  EXPECT_EQ(nullptr, view.executor_info);
  EXPECT_EQ(nullptr, view.quota_info);
  EXPECT_EQ(nullptr, view.weight_info);
  EXPECT_EQ(nullptr, view.resource);

  // An authorization::Object converts where an approver takes an Object.
  TestApprover approver;
  Try<bool> approved = approver.approved(object);
  ASSERT_TRUE(approved.isSome());
  EXPECT_TRUE(approved.get());
  EXPECT_FALSE(approver.approved(None()).get());
}


TEST(ModuleInterfacesTest, HookDefaultsChangeNothing)
{
  Hook hook;
  const TaskInfo task;
  const ExecutorInfo executor;
  const FrameworkInfo framework;
  const SlaveInfo slave;

  EXPECT_TRUE(
      hook.masterLaunchTaskLabelDecorator(task, framework, slave).isNone());
  EXPECT_TRUE(hook.slaveRunTaskLabelDecorator(task, executor, framework, slave)
                  .isNone());
  EXPECT_TRUE(hook.masterSlaveLostHook(slave).isSome());
  EXPECT_TRUE(hook.slaveExecutorEnvironmentDecorator(executor).isNone());

  Future<Option<DockerTaskExecutorPrepareInfo>> prepared =
      hook.slavePreLaunchDockerTaskExecutorDecorator(
          None(),
          executor,
          "mesos-container",
          "/var/lib/mesos/slaves/s/frameworks/f/executors/e/runs/c",
          "/mnt/mesos/sandbox",
          std::map<string, string>());
  ASSERT_TRUE(prepared.isReady());
  EXPECT_TRUE(prepared.get().isNone());

  EXPECT_TRUE(hook.slavePostFetchHook(ContainerID(), "/tmp").isSome());
  EXPECT_TRUE(hook.slaveRemoveExecutorHook(framework, executor).isSome());
  EXPECT_TRUE(
      hook.slaveTaskStatusDecorator(FrameworkID(), TaskStatus()).isNone());
  EXPECT_TRUE(hook.slaveResourcesDecorator(slave).isNone());
  EXPECT_TRUE(hook.slaveAttributesDecorator(slave).isNone());
}


TEST(ModuleInterfacesTest, IsolatorDefaultsDoNothing)
{
  slave::Isolator isolator;
  const ContainerID id;

  EXPECT_FALSE(isolator.supportsNesting());
  EXPECT_TRUE(isolator.recover({}, hashset<ContainerID>()).isReady());

  Future<Option<slave::ContainerLaunchInfo>> prepared =
      isolator.prepare(id, slave::ContainerConfig());
  ASSERT_TRUE(prepared.isReady());
  EXPECT_TRUE(prepared.get().isNone());

  EXPECT_TRUE(isolator.isolate(id, 1234).isReady());
  EXPECT_TRUE(pendingForever(isolator.watch(id)));
  EXPECT_TRUE(isolator.update(id, Resources()).isReady());

  Future<ResourceStatistics> usage = isolator.usage(id);
  ASSERT_TRUE(usage.isReady());
  EXPECT_EQ(0.0, usage.get().timestamp());

  EXPECT_TRUE(isolator.status(id).isReady());
  EXPECT_TRUE(isolator.cleanup(id).isReady());
}


TEST(ModuleInterfacesTest, ResourcesAndAttributesHoldTheirMessages)
{
  Resource cpus;
  cpus.set_name("cpus");
  cpus.set_type(Value::SCALAR);
  cpus.mutable_scalar()->set_value(2);

  Resources resources(cpus);
  resources.add(cpus);
  EXPECT_EQ(2u, resources.size());
  EXPECT_FALSE(resources.empty());
  const google::protobuf::RepeatedPtrField<Resource>& repeated = resources;
  EXPECT_EQ("cpus", repeated.Get(1).name());

  Attribute rack;
  rack.set_name("rack");
  rack.set_type(Value::TEXT);
  rack.mutable_text()->set_value("r1");

  Attributes attributes;
  attributes.add(rack);
  EXPECT_EQ(1u, attributes.size());
  EXPECT_EQ("r1", attributes.get(0).text().value());
}
