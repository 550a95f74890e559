#ifndef __TESTS_SUPPORT_DEV_IAM_SERVICE_HPP__
#define __TESTS_SUPPORT_DEV_IAM_SERVICE_HPP__

// The development IAM service as the tests run it, in this process on
// loopback, with the test keys: the service signs with
// test_keys::PRIVATE_KEY (so its key set publishes test_keys::MODULUS), the
// service account "svc-agent" holds test_keys::OTHER_PRIVATE_KEY, and the
// user "alice" has the permissions document ALICE_PERMISSIONS.

#include <string>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/owned.hpp>

#include <stout/json.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"
#include "tools/ovra_dev_iam/core/config.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/test_keys.hpp"

namespace ovra_test {
namespace test_iam {

const char SERVICE_ACCOUNT[] = "svc-agent";

const char ALICE_PERMISSIONS[] =
    R"({"direct":[{"rid":"ovra:mesos:master:task","description":"d",)"
    R"("aclurl":"/acls/1","actions":[{"name":"read","url":"/a/1"}]}],)"
    R"("groups":[]})";


inline dev_iam::Config config()
{
  dev_iam::Config config;
  config.key = {test_keys::PRIVATE_KEY, test_keys::PUBLIC_KEY};
  config.users["alice"] = JSON::parse<JSON::Object>(ALICE_PERMISSIONS).get();
  config.serviceAccounts[SERVICE_ACCOUNT] = test_keys::OTHER_PUBLIC_KEY;
  return config;
}


// The service account's credential, logging in at `iam`.
inline corvanta::Credential credential(const dev_iam::DevIAM& iam)
{
  return dev_iam::rs256Credential(
      SERVICE_ACCOUNT, test_keys::OTHER_PRIVATE_KEY, iam.loginEndpoint());
}


// A test with the service running for its whole length; the clock runs
// again after it, whatever the test did with it.
class ServiceTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    Try<process::Owned<dev_iam::DevIAM>> iam = dev_iam::DevIAM::start(config());
    ASSERT_TRUE(iam.isSome()) << iam.error();
    iam_ = iam.get();
  }

  void TearDown() override
  {
    iam_.reset();
    process::Clock::resume();
  }

  process::Owned<dev_iam::DevIAM> iam_;
};

} // namespace test_iam {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_DEV_IAM_SERVICE_HPP__
