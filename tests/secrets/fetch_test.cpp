// The fetch of a task's secrets against the development IAM service and
// secret store over loopback: one login, every secret requested at once,
// the environment in request order, the failures and their texts, the
// chain's time limit, the bounds on values and answers, and no secret
// value in any log line.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <process/clock.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/duration.hpp>
#include <stout/option.hpp>

#include "common/openssl.hpp"
#include "secrets/common/fetch.hpp"
#include "secrets/common/limits.hpp"
#include "secrets/flags.hpp"
#include "tools/ovra_dev_secrets/core/dev_secrets.hpp"

#include "support/audit_records.hpp"
#include "support/dev_iam_service.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/process_memory.hpp"
#include "support/test_keys.hpp"

#include "secrets/secrets_test.hpp"

using namespace ovra_test;

using process::Clock;
using process::Future;
using process::Owned;

using dev_iam::Endpoint;

namespace {

class SecretsFetchTest : public secrets_test::StoreTest
{};


Future<size_t> logins(const dev_iam::DevIAM& iam)
{
  return iam.requests(Endpoint::LOGIN);
}

} // namespace {


TEST_F(SecretsFetchTest, OneLoginThenEverySecretAtOnceInRequestOrder)
{
  LogCapture log;

  // The store holds its answers back: the fetch completes only if all
  // three requests were sent without waiting for each other.
  ASSERT_TRUE(ready(store_->hold()));

  Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
      flags(),
      secrets_test::executorWith(
          "team1/app",
          R"([{"name":"team1/app/dburl","type":"ENVIRONMENT",)"
          R"("environment":{"name":"db_Url9"}},)"
          R"({"name":"token","type":"ENVIRONMENT",)"
          R"("environment":{"name":"API_TOKEN"}},)"
          R"({"name":"team1/shared","type":"ENVIRONMENT",)"
          R"("environment":{"name":"api_token"}}])"),
      None());

  ASSERT_TRUE(ready(store_->received(3)));
  ASSERT_TRUE(ready(store_->release()));
  ASSERT_TRUE(ready(fetch));
  ASSERT_TRUE(fetch->isSome());

  Future<size_t> loginCount = logins(*iam_);
  ASSERT_TRUE(ready(loginCount));
  EXPECT_EQ(1u, loginCount.get());

  // Upper-cased names, equal names kept twice, values unchanged.
  EXPECT_EQ(
      (std::vector<std::pair<std::string, std::string>>{
          {"DB_URL9", secrets_test::DBURL},
          {"API_TOKEN", secrets_test::TOKEN},
          {"API_TOKEN", secrets_test::SHARED}}),
      secrets_test::variables(fetch->get()));

  // The request as stout writes a message converted to JSON: keys in
  // order, '/' escaped.
  const std::string request =
      R"([{"environment":{"name":"db_Url9"},"name":"team1\/app\/dburl",)"
      R"("type":"ENVIRONMENT"},)"
      R"({"environment":{"name":"API_TOKEN"},"name":"token",)"
      R"("type":"ENVIRONMENT"},)"
      R"({"environment":{"name":"api_token"},"name":"team1\/shared",)"
      R"("type":"ENVIRONMENT"}])";

  const std::vector<audit_records::Record> records =
      audit_records::records(log);
  ASSERT_EQ(3u, records.size());
  EXPECT_EQ("\"VALIDATE_SECRETS_REQUEST\"", records[0].at("action"));
  EXPECT_EQ("\"GET_SIGNED_JWT_FROM_SENTREL\"", records[1].at("action"));
  EXPECT_EQ("\"FETCH_SECRETS_FROM_STORE\"", records[2].at("action"));
  for (const audit_records::Record& record : records) {
    EXPECT_EQ("\"mesos secrets hook/isolator\"", record.at("authorizer"));
    EXPECT_EQ(
        secrets_test::quoted(test_iam::SERVICE_ACCOUNT), record.at("uid"));
    EXPECT_EQ("allow", record.at("result"));
  }
  EXPECT_EQ(
      secrets_test::quoted("Space: team1/app Request: " + request),
      records[0].at("object"));
  EXPECT_EQ(
      secrets_test::quoted(iam_->loginEndpoint()), records[1].at("object"));
  EXPECT_EQ(secrets_test::quoted(request), records[2].at("object"));
  EXPECT_EQ("\"Call to secrets store successful\"", records[2].at("reason"));

  secrets_test::expectNoSecretIn(log);
}


TEST_F(SecretsFetchTest, NothingHappensWithoutASpaceOrASecretsLabel)
{
  LogCapture log;

  const mesos::ExecutorInfo secretsOnly = secrets_test::executorWith(
      None(),
      std::string(R"([{"name":"token","type":"ENVIRONMENT",)"
                  R"("environment":{"name":"T"}}])"));
  const mesos::ExecutorInfo spaceOnly =
      secrets_test::executorWith(std::string("team1/app"), None());

  for (const mesos::ExecutorInfo& executor : {secretsOnly, spaceOnly}) {
    Future<Option<mesos::Environment>> fetch =
        mesos::secrets::fetchSecrets(flags(), executor, None());
    ASSERT_TRUE(ready(fetch));
    EXPECT_TRUE(fetch->isNone());
  }

  EXPECT_TRUE(audit_records::records(log).empty());
  Future<size_t> loginCount = logins(*iam_);
  Future<size_t> storeCount = store_->requests();
  ASSERT_TRUE(ready(loginCount));
  ASSERT_TRUE(ready(storeCount));
  EXPECT_EQ(0u, loginCount.get());
  EXPECT_EQ(0u, storeCount.get());
}


TEST_F(SecretsFetchTest, AnEmptyRequestLogsInAndGivesAnEmptyEnvironment)
{
  LogCapture log;

  Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
      flags(), secrets_test::executorWith("team1/app", "[]"), None());
  ASSERT_TRUE(ready(fetch));
  ASSERT_TRUE(fetch->isSome());
  EXPECT_EQ(0, fetch->get().variables_size());

  Future<size_t> storeCount = store_->requests();
  ASSERT_TRUE(ready(storeCount));
  EXPECT_EQ(0u, storeCount.get());
  EXPECT_EQ(3u, audit_records::records(log).size());
}


TEST_F(SecretsFetchTest, FailuresCarryTheFailingStepsText)
{
  struct Case
  {
    std::string what;
    std::string secrets;
    Option<process::http::Response> storeAnswer;
    std::string failure;
  };

  const std::string two =
      R"([{"name":"token","type":"ENVIRONMENT","environment":{"name":"A"}},)"
      R"({"name":"team1/app/dburl","type":"ENVIRONMENT",)"
      R"("environment":{"name":"B"}}])";

  const std::vector<Case> cases = {
      {"one secret the account may not read fails the whole fetch",
       R"([{"name":"token","type":"ENVIRONMENT","environment":{"name":"A"}},)"
       R"({"name":"team1/app/private","type":"ENVIRONMENT",)"
       R"("environment":{"name":"B"}},)"
       R"({"name":"team1/shared","type":"ENVIRONMENT",)"
       R"("environment":{"name":"C"}}])",
       None(),
       "Collect failed: Secret Store returned status: 403 Forbidden"},
      {"an unknown secret",
       R"([{"name":"team1/missing","type":"ENVIRONMENT",)"
       R"("environment":{"name":"A"}}])",
       None(),
       "Collect failed: Secret Store returned status: 404 Not Found"},
      {"a body without a value",
       two,
       process::http::OK("{}"),
       "Failed to parse secret 'token': Missing required fields: value"},
      {"a body that is no JSON",
       two,
       process::http::OK("value"),
       "Failed to parse secret 'token': "
       "the store's answer (5 bytes) is not a JSON object"},
      {"a body nested far too deep",
       two,
       process::http::OK(std::string(100000, '[')),
       "Failed to parse secret 'token': the store's answer (100000 bytes): "
       "JSON nests deeper than 100 levels"},
      {"a secret outside the space",
       R"([{"name":"team2/db","type":"ENVIRONMENT",)"
       R"("environment":{"name":"A"}}])",
       None(),
       "Failed to extract secrets from label SECRETS: Requested secret "
       "'team2/db' is not accessible from: team1/app"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ready(store_->answer(c.storeAnswer)));

    LogCapture log;
    Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
        flags(), secrets_test::executorWith("team1/app", c.secrets), None());
    EXPECT_TRUE(failed(fetch, c.failure));
    secrets_test::expectNoSecretIn(log);
  }
}


TEST_F(SecretsFetchTest, AnIamServiceThatIsDownFailsTheFetch)
{
  mesos::secrets::Flags down = flags();
  down.service_account_credential->set_login_endpoint(
      "http://127.0.0.1:1/acs/api/v1/auth/login");

  Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
      down,
      secrets_test::executorWith(
          "team1/app",
          R"([{"name":"token","type":"ENVIRONMENT",)"
          R"("environment":{"name":"T"}}])"),
      None());
  ASSERT_TRUE(fetch.await(Seconds(15)));
  ASSERT_TRUE(fetch.isFailed());
  EXPECT_EQ(0u, fetch.failure().find("Failed to connect to 127.0.0.1:1"))
      << fetch.failure();

  mesos::secrets::Flags anonymous = flags();
  anonymous.service_account_credential = None();
  EXPECT_TRUE(failed(
      mesos::secrets::fetchSecrets(
          anonymous,
          secrets_test::executorWith(
              "team1/app",
              R"([{"name":"token","type":"ENVIRONMENT",)"
              R"("environment":{"name":"T"}}])"),
          None()),
      "The flag 'service_account_credential' is required by the secrets "
      "modules"));
}


// The whole login-and-fetch chain and each store request are bounded by
// the same time-out; the chain's began first and fires first.
TEST_F(SecretsFetchTest, AStoreThatNeverAnswersFailsTheChainAtTheTimeout)
{
  ASSERT_TRUE(ready(store_->hold()));

  Clock::pause();
  Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
      flags(),
      secrets_test::executorWith(
          "team1/app",
          R"([{"name":"token","type":"ENVIRONMENT",)"
          R"("environment":{"name":"T"}}])"),
      None());

  // The login went through on a paused clock; the store holds the request.
  ASSERT_TRUE(ready(store_->received(1)));
  Clock::advance(flags().network_timeout - Milliseconds(1));
  Clock::settle();
  EXPECT_TRUE(fetch.isPending());

  Clock::advance(Milliseconds(1));
  Clock::settle();
  EXPECT_TRUE(failed(fetch, "Failed to execute pong: Timed out after 5secs"));
  Clock::resume();

  ASSERT_TRUE(ready(store_->release()));
}


TEST_F(SecretsFetchTest, TheCheckLogsInAndPingsTheStore)
{
  Try<Nothing> check = flags().validate();
  EXPECT_FALSE(check.isError()) << check.error();

  mesos::secrets::Flags elsewhere = flags();
  elsewhere.store_url.path = "/nowhere";
  check = elsewhere.validate();
  ASSERT_TRUE(check.isError());
  EXPECT_EQ(
      "Failed to talk to Secret Store: Secret Store returned status: "
      "404 Not Found",
      check.error());
}


namespace {

// A request for `count` secrets "token" in the space, variables V0, V1, ...
std::string tokens(size_t count)
{
  std::string request = "[";
  for (size_t i = 0; i < count; ++i) {
    request += (i > 0 ? "," : "");
    request += R"({"name":"token","type":"ENVIRONMENT","environment":)"
               R"({"name":"V)" +
        std::to_string(i) + R"("}})";
  }
  return request + "]";
}


// The flags of a fetch that moves megabytes: time enough for them in a
// sanitizer build, where a fetch of 16 MiB takes seconds.
mesos::secrets::Flags roomy(mesos::secrets::Flags flags)
{
  flags.network_timeout = Seconds(60);
  return flags;
}


// The store's answer holding a value of `size` bytes.
process::http::Response valueOf(size_t size)
{
  return process::http::OK(R"({"value":")" + std::string(size, 'v') + R"("})");
}


} // namespace {


TEST_F(SecretsFetchTest, ValuesAndAnswersAreBoundedOneByOneAndTogether)
{
  using mesos::secrets::MAX_SECRET_VARIABLE;
  using mesos::secrets::answerLimit;

  struct Case
  {
    std::string what;
    size_t secrets;
    size_t value;
    std::string failure; // Empty: the fetch gives the environment.
  };

  // "V0=" and its value, at the bound and one byte over it.
  const size_t largest = MAX_SECRET_VARIABLE - 3;
  const std::vector<Case> cases = {
      {"a value at the bound", 1, largest, ""},
      {"a value over it",
       1,
       largest + 1,
       "Secret 'token' is too large for an environment variable: 131072 "
       "bytes as V0=value, over the limit of 131071"},
      {"values that are together too large",
       9,
       largest,
       "The requested secrets are too large for the task's environment: over "
       "1048576 bytes of variables at secret 'token'"},
      {"an answer over its share of the fetch's bound",
       32,
       answerLimit(32),
       "Collect failed: The answer's body exceeds the limit of " +
           std::to_string(answerLimit(32)) + " bytes"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ready(store_->answer(valueOf(c.value))));

    Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
        roomy(flags()),
        secrets_test::executorWith("team1/app", tokens(c.secrets)),
        None());
    if (c.failure.empty()) {
      ASSERT_TRUE(ready(fetch, Seconds(60)));
      ASSERT_TRUE(fetch->isSome());
      EXPECT_EQ(c.value, fetch->get().variables(0).value().size());
    } else {
      EXPECT_TRUE(failed(fetch, c.failure, Seconds(60)));
    }
  }
}


TEST_F(SecretsFetchTest, AFetchAtTheBoundOfItsAnswersTakesAFewTimesItsSize)
{
  using mesos::secrets::MAX_FETCH_ANSWERS;
  using mesos::secrets::MAX_SECRET_ANSWER;

  // Sixteen answers of 1 MiB, the most that one fetch reads, each to be
  // parsed; the store serves them from this process too.
  const size_t count = MAX_FETCH_ANSWERS / MAX_SECRET_ANSWER;
  ASSERT_TRUE(ready(store_->answer(valueOf(MAX_SECRET_ANSWER - 20))));

  if (process_memory::statusBytes("VmHWM").isNone() ||
      !process_memory::resetPeakResident()) {
    GTEST_SKIP() << "The kernel does not report peak resident memory";
  }
  const size_t baseline = process_memory::statusBytes("VmHWM").get();

  Future<Option<mesos::Environment>> fetch = mesos::secrets::fetchSecrets(
      roomy(flags()),
      secrets_test::executorWith("team1/app", tokens(count)),
      None());
  EXPECT_TRUE(failed(
      fetch,
      "Secret 'token' is too large for an environment "
      "variable: 1048559 bytes as V0=value, over the "
      "limit of 131071",
      Seconds(60)));

  const size_t growth = process_memory::statusBytes("VmHWM").get() - baseline;
  std::cout << "Peak memory of a fetch of " << count << " answers of "
            << MAX_SECRET_ANSWER << " bytes: " << growth / 1024 << " KiB"
            << std::endl;
  // Both ends count: the answers as the store sends them and as the fetch
  // reads them, on either platform's HTTP stack.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LE(growth, 8 * MAX_FETCH_ANSWERS);
#endif
}
