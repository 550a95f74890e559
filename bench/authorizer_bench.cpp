// The authorizer's costs: approvals per second from a cached permissions
// list of 10, 1,000 and 10,000 entries through the permission index,
// beside the same approvals by the ordered scan of the list and the cost
// of the resource-id mapping alone for the same object; and
// getObjectApprover on a cache hit (a dispatch to the actor and back),
// beside a bare dispatch round trip.

#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <mesos/mesos.hpp>

#include <mesos/authorizer/authorizer.hpp>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/object_approver.hpp"
#include "ovra_auth/permission_index.hpp"
#include "ovra_auth/permissions.hpp"
#include "ovra_auth/resource_id.hpp"
#include "ovra_auth/resource_mapping.hpp"

#include "support/framework_role.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

using mesos::ObjectApprover;

using mesos::ovra::ApproverContext;
using mesos::ovra::OVRAAuthorizer;
using mesos::ovra::OVRAAuthorizerObjectApprover;
using mesos::ovra::Permission;
using mesos::ovra::PermissionIndex;
using mesos::ovra::Permissions;
using mesos::ovra::ResourceMapping;

namespace {

// A task in space /team<i>/web of a framework in role dev: what Mesos asks
// about, one object at a time, when it lists tasks for a principal.
authz::Object taskObject(size_t team)
{
  authz::Object object;
  mesos::FrameworkInfo* framework = object.mutable_framework_info();
  framework->set_user("nobody");
  framework->set_name("marathon");
  setRole(framework, "dev");

  mesos::TaskInfo* task = object.mutable_task_info();
  task->set_name("web");
  task->mutable_task_id()->set_value("web.1");
  task->mutable_slave_id()->set_value("S1");
  mesos::Label* label = task->mutable_labels()->add_labels();
  label->set_key("OVRA_SPACE");
  label->set_value("/team" + stringify(team) + "/web");
  return object;
}


// `size` grants, one per team space, each read; the asked-for team's grant
// is the last, so an ordered scan walks the whole list.
std::shared_ptr<const PermissionIndex> teamPermissions(size_t size)
{
  Permissions list;
  for (size_t i = 0; i < size; ++i) {
    mesos::ovra::iam::Group group;
    group.set_rid("ovra:mesos:master:task:app_id:/team" + stringify(i));
    group.add_actions()->set_name("read");
    list.emplace_back(new Permission(group));
  }
  return std::make_shared<const PermissionIndex>(list);
}


std::shared_ptr<const ApproverContext> context(corvanta::LogFmt::Audit audit)
{
  return std::make_shared<const ApproverContext>(ApproverContext{
      ResourceMapping("ovra:mesos", "master", "OVRA_SPACE"),
      corvanta::LogFmt::Authorizer::MESOS_MASTER,
      process::UPID("ovra_authorizer(1)@127.0.0.1:5050"),
      corvanta::LogFmt(audit)});
}


void BM_Approve(benchmark::State& state)
{
  const size_t size = static_cast<size_t>(state.range(0));
  authz::Subject subject;
  subject.set_value("alice");

  const OVRAAuthorizerObjectApprover approver(
      context(corvanta::LogFmt::Audit::DISABLED),
      teamPermissions(size),
      subject,
      authz::VIEW_TASK);

  const authz::Object message = taskObject(size - 1);
  const Option<ObjectApprover::Object> object = ObjectApprover::Object(message);

  for (auto _ : state) {
    Try<bool> approved = approver.approved(object);
    benchmark::DoNotOptimize(approved);
    if (approved.isError() || !approved.get()) {
      state.SkipWithError("not approved");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_Approve)->Arg(10)->Arg(1000)->Arg(10000);


// The baseline: the same approvals by the ordered scan of the list, as the
// approver decided before the index.
void BM_ApproveByOrderedScan(benchmark::State& state)
{
  const size_t size = static_cast<size_t>(state.range(0));
  authz::Subject subject;
  subject.set_value("alice");

  const std::shared_ptr<const PermissionIndex> permissions =
    teamPermissions(size);
  const OVRAAuthorizerObjectApprover approver(
      context(corvanta::LogFmt::Audit::DISABLED),
      permissions,
      subject,
      authz::VIEW_TASK);

  const authz::Object message = taskObject(size - 1);
  const Option<ObjectApprover::Object> object = ObjectApprover::Object(message);

  for (auto _ : state) {
    const auto required = approver.resourceAction(object);
    if (required.isError()) {
      state.SkipWithError(required.error().c_str());
      break;
    }
    bool approved = !required->empty();
    for (const auto& pair : required.get()) {
      if (mesos::ovra::firstGrant(
              permissions->list(),
              mesos::ovra::tokenizeRID(pair.rid_),
              pair.action_) == nullptr) {
        approved = false;
        break;
      }
    }
    benchmark::DoNotOptimize(approved);
    if (!approved) {
      state.SkipWithError("not approved");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ApproveByOrderedScan)->Arg(10)->Arg(1000)->Arg(10000);


// The baseline: the mapping of the same object, without any matching.
void BM_MapResourceIds(benchmark::State& state)
{
  const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");
  const authz::Object message = taskObject(9);
  const Option<ObjectApprover::Object> object = ObjectApprover::Object(message);

  for (auto _ : state) {
    auto pairs = mapping.resourceAction(authz::VIEW_TASK, object);
    benchmark::DoNotOptimize(pairs);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_MapResourceIds);


// getObjectApprover for a principal whose permissions are cached.
void BM_GetObjectApproverCacheHit(benchmark::State& state)
{
  const size_t size = static_cast<size_t>(state.range(0));

  std::string body = "{\"groups\":[";
  for (size_t i = 0; i < size; ++i) {
    body += std::string(i == 0 ? "" : ",") +
      "{\"rid\":\"ovra:mesos:master:task:app_id:/team" + stringify(i) +
      "\",\"gid\":\"g\",\"description\":\"d\",\"aclurl\":\"/a\","
      "\"membershipurl\":\"/m\",\"actions\":[{\"name\":\"read\","
      "\"url\":\"/u\"}]}";
  }
  body += "]}";

  OVRAAuthorizer::Flags flags;
  flags.host = "master";
  flags.cache_timeout = Days(1);

  OVRAAuthorizer authorizer(
      flags,
      mesos::ovra::ResponseGetter([body](const process::http::URL&) {
        return process::Future<process::http::Response>(
            process::http::OK(body));
      }));

  authz::Subject subject;
  subject.set_value("alice");

  // The first call fetches and caches.
  if (!authorizer.getObjectApprover(subject, authz::VIEW_TASK).await()) {
    state.SkipWithError("no approver");
    return;
  }

  for (auto _ : state) {
    process::Future<process::Owned<ObjectApprover>> approver =
      authorizer.getObjectApprover(subject, authz::VIEW_TASK);
    approver.await();
    if (!approver.isReady()) {
      state.SkipWithError("no approver");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_GetObjectApproverCacheHit)->Arg(10)->Arg(10000)->UseRealTime();


class EchoProcess : public process::Process<EchoProcess>
{
public:
  EchoProcess() : ProcessBase(process::ID::generate("authorizer-bench")) {}

  int echo(int x) { return x; }
};


// The baseline: a bare dispatch round trip to an actor.
void BM_DispatchRoundTrip(benchmark::State& state)
{
  EchoProcess echo;
  process::spawn(echo);

  for (auto _ : state) {
    process::Future<int> result =
      process::dispatch(echo, &EchoProcess::echo, 1);
    result.await();
  }
  state.SetItemsProcessed(state.iterations());

  process::terminate(echo);
  process::wait(echo);
}

BENCHMARK(BM_DispatchRoundTrip)->UseRealTime();

} // namespace {

BENCHMARK_MAIN();
