// The authenticator's IAM public key, fetched once from 127.0.0.1:8101
// when the module is created: an IAM service that is not there, one that
// is slow, and one that serves.

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/strings.hpp>

#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/module_parameters.hpp"
#include "support/test_keys.hpp"

#include "ovra_classic_rpc_authn/classic_rpc_test.hpp"

using namespace ovra_test;

using process::Clock;
using process::Future;
using process::Promise;

using process::http::Request;
using process::http::Response;

namespace {

const char MODULE_ERROR[] =
    "Error initializing module 'com_corvanta_ovra_ClassicRPCAuthenticator': ";


// In place of the IAM service (its actor "acs"): holds every key request
// until released.
class SlowKeyService : public process::Process<SlowKeyService>
{
public:
  SlowKeyService() : ProcessBase("acs") {}

  Future<Nothing> asked() const { return asked_.future(); }

  // The key set of the development service's key.
  void release()
  {
    JSON::Object key;
    key.values["kty"] = "RSA";
    key.values["n"] = test_keys::MODULUS;
    key.values["e"] = test_keys::EXPONENT;
    JSON::Object keys;
    keys.values["keys"] = JSON::Array{{key}};
    answer_.set(process::http::OK(keys));
  }

protected:
  void initialize() override
  {
    route("/api/v1/auth/jwks", None(), [this](const Request&) {
      asked_.set(Nothing());
      return answer_.future();
    });
  }

private:
  Promise<Nothing> asked_;
  Promise<Response> answer_;
};


// The factory's result and its ERROR lines, from a thread of its own, so
// that the test can act on the clock and the service while it waits.
struct Creation
{
  mesos::Authenticator* module;
  std::vector<std::string> errors;
};

std::future<Creation> create(const mesos::Parameters& given = parameters({}))
{
  return std::async(std::launch::async, [given]() {
    LogCapture log;
    mesos::Authenticator* module =
        com_corvanta_ovra_ClassicRPCAuthenticator.create(given);
    return Creation{module, log.texts(google::GLOG_ERROR)};
  });
}


typedef classic::ClassicRPCTest AuthenticatorTest;


class AuthenticatorKeyTest : public classic::ClassicRPCTest
{
protected:
  // Another service in the IAM service's place.
  void SetUp() override
  {
    ClassicRPCTest::SetUp();
    iam_.reset();
  }
};

} // namespace {


TEST_F(AuthenticatorKeyTest, UnreachableServiceCreatesNoModule)
{
  Creation created = create().get();

  EXPECT_EQ(nullptr, created.module);
  ASSERT_EQ(1u, created.errors.size());
  EXPECT_TRUE(strings::startsWith(
      created.errors[0],
      std::string(MODULE_ERROR) +
          "Failed to retrieve Sentrel public key: "
          "Failed to obtain sentrel public key: Received non-success code (404 "
          "Not Found)"))
      << created.errors[0];
}


TEST_F(AuthenticatorKeyTest, SilentServiceMeetsTheQueryLimit)
{
  // On a running clock: an advance of a paused one could come before the
  // query has set its limit, which it does after sending the request.
  classic::Running<SlowKeyService> service;

  Creation created = create().get();
  EXPECT_TRUE(service->asked().isReady());
  EXPECT_EQ(nullptr, created.module);
  EXPECT_EQ(
      std::vector<std::string>{
          std::string(MODULE_ERROR) +
          "Failed to retrieve Sentrel public key: Failed to obtain "
          "sentrel public key: Request timed out after 2secs"},
      created.errors);
}


// The wait for the key is bounded on libprocess's clock, as Mesos's
// futures bound their waits: while the clock is paused creation waits, and
// it ends with the query's own limit once the clock passes it.
TEST_F(AuthenticatorKeyTest, WaitForTheKeyEndsWithTheClock)
{
  classic::Running<SlowKeyService> service;
  Clock::pause();

  std::future<Creation> creation = create();
  ASSERT_TRUE(ready(service->asked()));

  Clock::advance(Seconds(1));
  Clock::settle();
  EXPECT_EQ(
      std::future_status::timeout, creation.wait_for(std::chrono::seconds(0)));

  // The query's limit was set before its request reached the service; the
  // clock is moved on until the creation ends, as the limit may have been
  // set a moment later than the request was seen.
  while (
      creation.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    Clock::advance(Seconds(1));
    Clock::settle();
  }

  Creation created = creation.get();
  EXPECT_EQ(nullptr, created.module);
  EXPECT_EQ(
      std::vector<std::string>{
          std::string(MODULE_ERROR) +
          "Failed to retrieve Sentrel public key: Failed to obtain "
          "sentrel public key: Request timed out after 2secs"},
      created.errors);
}


TEST_F(AuthenticatorKeyTest, SlowKeyWithinTheWaitIsTaken)
{
  classic::Running<SlowKeyService> service;
  Clock::pause();

  std::future<Creation> creation = create();
  ASSERT_TRUE(ready(service->asked()));
  Clock::advance(Seconds(1));
  service->release();

  Creation created = creation.get();
  EXPECT_NE(nullptr, created.module);
  EXPECT_TRUE(created.errors.empty());
  delete created.module;
}


TEST_F(AuthenticatorTest, ServingServiceCreatesTheModuleOnce)
{
  // Parameters that name none of the authenticator's flags are ignored.
  Creation created =
      create(parameters({{"host", "master"}, {"network_timeout", "2secs"}}))
          .get();

  ASSERT_NE(nullptr, created.module);
  EXPECT_TRUE(created.errors.empty());
  EXPECT_TRUE(created.module->initialize(None()).isSome());
  EXPECT_EQ(1u, iam_->requests(dev_iam::Endpoint::JWKS).get());
  delete created.module;
}
