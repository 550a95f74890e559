// The authorizer against the development IAM service: an agent logs in
// with its service account and presents the issued token, which the service
// checks before it serves a permissions document.

#include <string>

#include <gtest/gtest.h>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>

#include <stout/json.hpp>
#include <stout/try.hpp>

#include "ovra_auth/authorizer.hpp"

#include "support/dev_iam_service.hpp"
#include "support/futures.hpp"

using namespace ovra_test;

namespace authz = mesos::authorization;

using mesos::ovra::OVRAAuthorizer;

using process::Future;
using process::Owned;

namespace {

const char BOB_PERMISSIONS[] =
    R"({"direct":[{"rid":"ovra:mesos:agent:endpoint:path:/metrics",)"
    R"("description":"d","aclurl":"/a","actions":[{"name":"read",)"
    R"("url":"/u"}]}]})";


authz::Request endpointRequest(
    const std::string& principal,
    const std::string& path)
{
  authz::Request request;
  request.mutable_subject()->set_value(principal);
  request.set_action(authz::GET_ENDPOINT_WITH_PATH);
  request.mutable_object()->set_value(path);
  return request;
}

} // namespace {


TEST(AuthorizerDevIAMTest, AgentsFetchWithTheirServiceAccountToken)
{
  dev_iam::Config config = test_iam::config();
  config.requireAuthorization = true;
  config.users["bob"] = JSON::parse<JSON::Object>(BOB_PERMISSIONS).get();

  Try<Owned<dev_iam::DevIAM>> iam = dev_iam::DevIAM::start(config);
  ASSERT_TRUE(iam.isSome()) << iam.error();

  OVRAAuthorizer::Flags flags;
  flags.host = "agent";
  flags.iam = iam.get()->url();
  flags.service_account_credential = test_iam::credential(*iam.get());

  {
    OVRAAuthorizer agent(flags);

    Future<bool> allowed =
        agent.authorized(endpointRequest("bob", "/metrics/snapshot"));
    ASSERT_TRUE(ready(allowed));
    EXPECT_TRUE(allowed.get());

    Future<bool> denied = agent.authorized(endpointRequest("bob", "/flags"));
    ASSERT_TRUE(ready(denied));
    EXPECT_FALSE(denied.get());

    EXPECT_TRUE(failed(
        agent.authorized(endpointRequest("nobody", "/flags")),
        "HTTP status code not OK (200) but 404"));
  }

  // A master presents no token, which this service refuses.
  flags.host = "master";
  flags.service_account_credential = None();
  OVRAAuthorizer master(flags);
  EXPECT_TRUE(failed(
      master.authorized(endpointRequest("bob", "/flags")),
      "HTTP status code not OK (200) but 401"));
}
