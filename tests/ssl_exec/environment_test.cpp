// The executor's SSL environment from tables: the operator's variables,
// reserved names, paths under the host or the mapped sandbox, and the
// agent's SSL switches.

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "ssl_exec/environment.hpp"

#include "support/log_capture.hpp"

#include "ssl_exec/ssl_exec_test.hpp"

using namespace ovra_test;

using corvanta::ovra::ssl_executor::executorEnvironment;
using corvanta::ovra::ssl_executor::MAX_EXECUTOR_ENVIRONMENT_SIZE;
using corvanta::ovra::ssl_executor::prepareEnvironment;

typedef std::map<std::string, std::string> Variables;

namespace {

const std::vector<std::string> COMPUTED = {
    "LIBPROCESS_SSL_CA_FILE",
    "LIBPROCESS_SSL_CERT_FILE",
    "LIBPROCESS_SSL_KEY_FILE",
    "LIBPROCESS_SSL_ENABLED",
    "LIBPROCESS_SSL_VERIFY_CERT",
    "LIBPROCESS_SSL_REQUIRE_CERT",
    "LIBPROCESS_SSL_VERIFY_IPADD"};

std::string notAString(const std::string& key)
{
  return "Value of key '" + key + "' in 'executor_environment' is not a string";
}

} // namespace {


TEST(ExecutorEnvironmentTest, MembersMustAllBeStrings)
{
  const std::string huge =
      "{\"A\": \"" + std::string(MAX_EXECUTOR_ENVIRONMENT_SIZE, 'x') + "\"}";

  const struct
  {
    Option<std::string> input;
    Variables variables;
    std::string error; // a prefix; empty for success
  } cases[] = {
      {None(), {}, ""},
      {std::string("{}"), {}, ""},
      {std::string(R"({"B": "2", "A": "1", "lower": ""})"),
       {{"A", "1"}, {"B", "2"}, {"lower", ""}},
       ""},
      {std::string(R"({"A": "1", "N": 1})"), {}, notAString("N")},
      {std::string(R"({"T": true})"), {}, notAString("T")},
      {std::string(R"({"Z": null})"), {}, notAString("Z")},
      {std::string(R"({"L": ["x"]})"), {}, notAString("L")},
      {std::string(R"({"O": {"x": "y"}})"), {}, notAString("O")},
      {std::string("[\"A\"]"), {}, "Failed to parse 'executor_environment': "},
      {std::string("{\"A\": "), {}, "Failed to parse 'executor_environment': "},
      {"{\"A\": " + std::string(100000, '['),
       {},
       "Failed to parse 'executor_environment': JSON nests deeper than 100 "
       "levels"},
      {huge,
       {},
       "Failed to parse 'executor_environment': it holds " +
           std::to_string(huge.size()) +
           " bytes, more than the limit of "
           "1048576"},
  };

  for (const auto& test : cases) {
    const std::string input = test.input.getOrElse("(none)").substr(0, 40);
    Try<Variables> variables = executorEnvironment(test.input);
    if (test.error.empty()) {
      ASSERT_TRUE(variables.isSome()) << input << ": " << variables.error();
      EXPECT_EQ(test.variables, variables.get()) << input;
    } else {
      ASSERT_TRUE(variables.isError()) << input;
      EXPECT_TRUE(strings::startsWith(variables.error(), test.error))
          << input << ": " << variables.error();
      EXPECT_LT(variables.error().size(), 400u) << input;
    }
  }
}


class PrepareEnvironmentTest : public SslExecTest
{};


TEST_F(PrepareEnvironmentTest, OperatorVariablesComeFirstWithoutReservedNames)
{
  flags_.ca_file = "/etc/pki/ca.crt";
  flags_.executor_environment = std::string(
      R"({"LIBPROCESS_SSL_ENABLED": "false", "FOO": "bar",
          "libprocess_ssl_enabled": "lower", )"
      R"("LIBPROCESS_SSL_KEY_FILE": "/k"})");

  const struct
  {
    SslMode mode;
    std::string root;
    Variables expected;
  } cases[] = {
      {SslMode::STRICT,
       "/mnt/sandbox",
       {{"LIBPROCESS_SSL_CA_FILE", "/mnt/sandbox/.ssl/ca.crt"},
        {"LIBPROCESS_SSL_KEY_FILE", "/mnt/sandbox/.ssl/agent.key"},
        {"LIBPROCESS_SSL_ENABLED", "true"},
        {"LIBPROCESS_SSL_VERIFY_CERT", "true"},
        {"LIBPROCESS_SSL_REQUIRE_CERT", "true"},
        {"LIBPROCESS_SSL_VERIFY_IPADD", "true"}}},
      {SslMode::OFF,
       "/var/sandbox/X/",
       {{"LIBPROCESS_SSL_CERT_FILE", "/var/sandbox/X/.ssl/agent.crt"},
        {"LIBPROCESS_SSL_ENABLED", "false"},
        {"LIBPROCESS_SSL_VERIFY_CERT", "false"},
        {"LIBPROCESS_SSL_REQUIRE_CERT", "false"},
        {"LIBPROCESS_SSL_VERIFY_IPADD", "false"}}},
  };

  std::vector<std::string> order = {"FOO", "libprocess_ssl_enabled"};
  order.insert(order.end(), COMPUTED.begin(), COMPUTED.end());

  for (const auto& test : cases) {
    AgentSsl ssl(test.mode);
    LogCapture log;

    Try<mesos::Environment> environment = prepareEnvironment(flags_, test.root);
    ASSERT_TRUE(environment.isSome()) << environment.error();

    EXPECT_EQ(order, names(environment.get())) << name(test.mode);
    const Variables values = variables(environment.get());
    EXPECT_EQ("bar", values.at("FOO"));
    EXPECT_EQ("lower", values.at("libprocess_ssl_enabled"));
    for (const auto& [variable, value] : test.expected) {
      EXPECT_EQ(value, values.at(variable))
          << name(test.mode) << " " << variable;
    }

    EXPECT_EQ(
        (std::vector<std::string>{
            "Ignoring user supplied executor_environment variable "
            "LIBPROCESS_SSL_ENABLED as its value needs to be computed "
            "and set dynamically.",
            "Ignoring user supplied executor_environment variable "
            "LIBPROCESS_SSL_KEY_FILE as its value needs to be computed "
            "and set dynamically."}),
        log.texts(google::GLOG_WARNING));
  }
}


TEST_F(PrepareEnvironmentTest, BadOperatorVariablesFailWithTheirReason)
{
  const struct
  {
    Option<std::string> input;
    std::string error; // a prefix
  } cases[] = {
      {std::string(R"({"FOO": 1})"),
       "Failed to parse 'executor_environment': " + notAString("FOO")},
      {std::string("{not json"),
       "Failed to parse 'executor_environment': Failed to parse "
       "'executor_environment': "},
  };

  for (const auto& test : cases) {
    flags_.executor_environment = test.input;
    Try<mesos::Environment> environment = prepareEnvironment(flags_, sandbox_);
    ASSERT_TRUE(environment.isError()) << test.input.get();
    EXPECT_TRUE(strings::startsWith(environment.error(), test.error))
        << environment.error();
  }

  // Without the flag only the computed variables.
  flags_.executor_environment = None();
  Try<mesos::Environment> environment = prepareEnvironment(flags_, sandbox_);
  ASSERT_TRUE(environment.isSome());
  EXPECT_EQ(COMPUTED, names(environment.get()));
}
