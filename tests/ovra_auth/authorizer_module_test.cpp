// The authorizer as Mesos loads it: created by its descriptor's factory
// from module parameters, answering authorized() against the IAM service,
// with one audit record per decision.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>
#include <mesos/module/authorizer.hpp>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>

#include <stout/stringify.hpp>

#include "ovra_auth/authorization_explainer.hpp"

#include "support/audit_records.hpp"
#include "support/fake_iam.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/module_parameters.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

extern mesos::modules::Module<mesos::Authorizer> com_corvanta_ovra_Authorizer;

namespace {

const char ENDPOINT_READER[] =
    "{\"groups\":[{\"rid\":\"ovra:mesos:master:endpoint:path:/metrics\","
    "\"gid\":\"ops\",\"description\":\"d\",\"aclurl\":\"/a\","
    "\"membershipurl\":\"/m\",\"actions\":[{\"name\":\"read\",\"url\":\"/u\"}]}"
    "]}";


std::unique_ptr<mesos::Authorizer> create(
    const std::vector<std::pair<std::string, std::string>>& pairs)
{
  return std::unique_ptr<mesos::Authorizer>(
      com_corvanta_ovra_Authorizer.create(parameters(pairs)));
}


authz::Request endpointRequest(const std::string& path)
{
  authz::Request request;
  request.mutable_subject()->set_value("alice");
  request.set_action(authz::GET_ENDPOINT_WITH_PATH);
  request.mutable_object()->set_value(path);
  return request;
}

} // namespace {


TEST(AuthorizerModuleTest, TheFactoryBuildsAWorkingAuthorizer)
{
  FakeIAM iam;
  iam.answerPermissions("alice", ENDPOINT_READER);

  std::unique_ptr<mesos::Authorizer> authorizer = create(
      {{"host", "master"}, {"iam", stringify(iam.url())}, {"users", "/users"}});
  ASSERT_NE(nullptr, authorizer);

  LogCapture log;
  process::Future<bool> allowed =
      authorizer->authorized(endpointRequest("/metrics/snapshot"));
  ASSERT_TRUE(ready(allowed));
  EXPECT_TRUE(allowed.get());

  process::Future<bool> denied =
      authorizer->authorized(endpointRequest("/flags"));
  ASSERT_TRUE(ready(denied));
  EXPECT_FALSE(denied.get());

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(2u, records.size());
  EXPECT_EQ("allow", records[0].at("result"));
  EXPECT_EQ("deny", records[1].at("result"));
  EXPECT_EQ("\"alice\"", records[1].at("uid"));
  EXPECT_EQ("\"GET_ENDPOINT_WITH_PATH\"", records[1].at("action"));

  // One fetch served both questions.
  EXPECT_EQ(1u, iam.permissionRequests().size());
}


TEST(AuthorizerModuleTest, ACacheSizeOfZeroIsAcceptedAndFetchesEachTime)
{
  FakeIAM iam;
  iam.answerPermissions("alice", ENDPOINT_READER);

  std::unique_ptr<mesos::Authorizer> authorizer = create(
      {{"host", "master"},
       {"iam", stringify(iam.url())},
       {"users", "/users"},
       {"cache_size", "0"},
       {"audit_log", "false"}});
  ASSERT_NE(nullptr, authorizer);

  for (int i = 0; i < 2; ++i) {
    process::Future<bool> allowed =
        authorizer->authorized(endpointRequest("/metrics"));
    ASSERT_TRUE(ready(allowed));
    EXPECT_TRUE(allowed.get());
  }
  EXPECT_EQ(2u, iam.permissionRequests().size());
}


TEST(AuthorizerModuleTest, TheLoadedAuthorizerExplainsItsDecisions)
{
  FakeIAM iam;
  iam.answerPermissions("alice", ENDPOINT_READER);

  std::unique_ptr<mesos::Authorizer> authorizer = create(
      {{"host", "master"}, {"iam", stringify(iam.url())}, {"users", "/users"}});
  ASSERT_NE(nullptr, authorizer);

  // A host finds the explainer beside the Authorizer it loaded.
  mesos::ovra::AuthorizationExplainer* explainer =
      dynamic_cast<mesos::ovra::AuthorizationExplainer*>(authorizer.get());
  ASSERT_NE(nullptr, explainer);

  LogCapture log;
  process::Future<mesos::ovra::AuthorizationExplanation> denied =
      explainer->explain(endpointRequest("/flags"));
  ASSERT_TRUE(ready(denied));
  EXPECT_FALSE(denied->allowed);
  EXPECT_EQ("alice", denied->principal);
  ASSERT_EQ(1u, denied->required.size());
  EXPECT_EQ(
      "ovra:mesos:master:endpoint:path:/flags", denied->required[0].resourceId);
  EXPECT_EQ("read", denied->required[0].action);
  EXPECT_TRUE(denied->required[0].grantedBy.isNone());
  EXPECT_TRUE(audit_records::records(log).empty());

  // The permissions come from the same cache as authorized()'s.
  process::Future<bool> allowed =
      authorizer->authorized(endpointRequest("/metrics"));
  ASSERT_TRUE(ready(allowed));
  EXPECT_TRUE(allowed.get());
  EXPECT_EQ(1u, iam.permissionRequests().size());

  // Without a subject or an anonymous principal there is no one to ask for.
  authz::Request anonymous = endpointRequest("/flags");
  anonymous.clear_subject();
  EXPECT_TRUE(failed(
      explainer->explain(anonymous),
      "OVRA authorization currently mandates providing a subject for all "
      "requests"));
}
