// Loading of the shared flag groups and the modules' flags classes, as the
// factories load them.

#include <map>
#include <string>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <stout/stringify.hpp>

#include "common/module_factory.hpp"
#include "common/sentrel/flags.hpp"
#include "ovra_auth/authenticator_flags.hpp"
#include "ovra_auth/authorizer_flags.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"
#include "secrets/flags.hpp"
#include "ssl_exec/flags.hpp"

#include "support/module_parameters.hpp"
#include "support/log_capture.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

using namespace ovra_test;

namespace {

const char CREDENTIAL_JSON[] =
    R"({"scheme":"RS256","uid":"svc-agent","private_key":"PEM",)"
    R"("login_endpoint":"http://127.0.0.1:8101/acs/api/v1/auth/login"})";

const char ABSOLUTE_PATH_WARNING[] =
    "Specifying an absolute filename to read a command line option out of "
    "without using 'file:// is deprecated and will be removed in a future "
    "release. Simply adding 'file://' to the beginning of the path should "
    "eliminate this warning.";

// The flag environment must not leak in from the machine running the tests.
class FlagGroupsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    for (const char* name :
         {"OVRA_NETWORK_TIMEOUT",
          "OVRA_HOST",
          "OVRA_IAM",
          "OVRA_ANONYMOUS_PRINCIPAL",
          "OVRA_AUDIT_LOG",
          "OVRA_SERVICE_ACCOUNT_CREDENTIAL",
          "OVRA_JWT_EXP_TIMEOUT"}) {
      environment_.unset(name);
    }
  }

  ScopedEnvironment environment_;
};

} // namespace {


TEST_F(FlagGroupsTest, DefaultsWhenNotGiven)
{
  mesos::ovra::OVRAAuthorizerFlags flags;
  ASSERT_TRUE(
      corvanta::loadModuleFlags(&flags, parameters({{"host", "master"}}))
          .isSome());

  EXPECT_EQ("5secs", stringify(flags.network_timeout));
  EXPECT_EQ("5mins", stringify(flags.jwt_exp_timeout));
  EXPECT_TRUE(flags.audit_log);
  EXPECT_TRUE(flags.anonymous_principal.isNone());
  EXPECT_TRUE(flags.service_account_credential.isNone());

  EXPECT_EQ("http", flags.iam.scheme.getOrElse(""));
  EXPECT_EQ("leader.mesos", flags.iam.domain.getOrElse(""));
  EXPECT_EQ(8101, flags.iam.port.getOrElse(0));
  EXPECT_EQ("/", flags.iam.path);
  EXPECT_TRUE(flags.iam.query.empty());
  EXPECT_TRUE(flags.iam.fragment.isNone());

  EXPECT_EQ("ovra:mesos", flags.prefix);
  EXPECT_EQ("/acs/api/v1/users", flags.users);
  EXPECT_EQ("permissions", flags.permissions);
  EXPECT_EQ("5mins", stringify(flags.cache_timeout));
  EXPECT_EQ(100u, flags.cache_size);
  EXPECT_EQ("OVRA_SPACE", flags.ovra_space_label);

  corvanta::ovra::ssl_executor::Flags ssl;
  ASSERT_TRUE(
      corvanta::loadModuleFlags(
          &ssl,
          parameters(
              {{"ca_file", "/a"}, {"cert_file", "/b"}, {"key_file", "/c"}}))
          .isSome());
  EXPECT_EQ(".ssl", ssl.sandbox_subfolder);
  EXPECT_TRUE(ssl.executor_environment.isNone());
}


TEST_F(FlagGroupsTest, ParametersAreParsedByType)
{
  mesos::ovra::OVRAHTTPAuthenticatorFlags flags;
  ASSERT_TRUE(corvanta::loadModuleFlags(
                  &flags,
                  parameters(
                      {{"host", "agent"},
                       {"network_timeout", "90secs"},
                       {"iam", "https://iam.example:9443/base"},
                       {"anonymous_principal", "anon"},
                       {"audit_log", "false"}}))
                  .isSome());

  EXPECT_EQ("90secs", stringify(flags.network_timeout));
  EXPECT_EQ("https", flags.iam.scheme.getOrElse(""));
  EXPECT_EQ("iam.example", flags.iam.domain.getOrElse(""));
  EXPECT_EQ(9443, flags.iam.port.getOrElse(0));
  EXPECT_EQ("/base", flags.iam.path);
  EXPECT_EQ(Option<std::string>("anon"), flags.anonymous_principal);
  EXPECT_FALSE(flags.audit_log);
}


TEST_F(FlagGroupsTest, LoadFailuresNameTheFlag)
{
  struct Case
  {
    std::map<std::string, std::string> values;
    std::string error;
  };

  const Case cases[] = {
      {{{"host", "master"}, {"network_timeout", "5x"}},
       "Failed to parse parameters: Failed to load flag 'network_timeout': "
       "Failed to load value '5x': Unknown duration unit 'x'; supported units "
       "are 'ns', 'us', 'ms', 'secs', 'mins', 'hrs', 'days', and 'weeks'"},
      {{{"host", "master"}, {"no_such_flag", "1"}},
       "Failed to parse parameters: Failed to load unknown flag "
       "'no_such_flag'"},
      {{{"host", ""}}, "Failed to parse parameters: 'host' is required"},
      {{}, "Failed to parse parameters: 'host' is required"},
      {{{"host", "master"}, {"iam", "leader.mesos:8101"}},
       "Failed to parse parameters: Failed to load flag 'iam': Failed to load "
       "value 'leader.mesos:8101': Missing scheme in url string"},
  };

  for (const Case& c : cases) {
    mesos::Parameters given;
    for (const auto& [key, value] : c.values) {
      *given.add_parameter() = parameters({{key, value}}).parameter(0);
    }

    mesos::ovra::OVRAHTTPAuthenticatorFlags flags;
    Try<Nothing> load = corvanta::loadModuleFlags(&flags, given);
    ASSERT_TRUE(load.isError()) << c.error;
    EXPECT_EQ(c.error, load.error());
  }
}


TEST_F(FlagGroupsTest, RequiredFlagsMustBeGiven)
{
  mesos::secrets::Flags secrets;
  Try<Nothing> load = corvanta::loadModuleFlags(&secrets, parameters({}));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to parse parameters: Flag 'special_secret_protobuf_label' is "
      "required, but it was not provided",
      load.error());

  corvanta::ovra::ssl_executor::Flags ssl;
  load = corvanta::loadModuleFlags(
      &ssl, parameters({{"ca_file", "/a"}, {"key_file", "/c"}}));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to parse parameters: Flag 'cert_file' is required, but it was "
      "not provided",
      load.error());
}


TEST_F(FlagGroupsTest, LaterDuplicateParameterWins)
{
  mesos::ovra::OVRAHTTPAuthenticatorFlags flags;
  ASSERT_TRUE(corvanta::loadModuleFlags(
                  &flags,
                  parameters(
                      {{"host", "master"},
                       {"network_timeout", "1secs"},
                       {"network_timeout", "7secs"}}))
                  .isSome());
  EXPECT_EQ("7secs", stringify(flags.network_timeout));
}


TEST_F(FlagGroupsTest, EnvironmentFillsWhatParametersLeaveOpen)
{
  environment_.set("OVRA_ANONYMOUS_PRINCIPAL", "from-environment");
  environment_.set("OVRA_NETWORK_TIMEOUT", "2mins");
  environment_.set("OVRA_HOST", "agent");
  // Unknown names under the prefix are not an error.
  environment_.set("OVRA_NOT_A_FLAG", "x");

  mesos::ovra::OVRAHTTPAuthenticatorFlags flags;
  ASSERT_TRUE(corvanta::loadModuleFlags(
                  &flags, parameters({{"network_timeout", "3secs"}}))
                  .isSome());

  EXPECT_EQ(Option<std::string>("from-environment"), flags.anonymous_principal);
  EXPECT_EQ(Option<std::string>("agent"), flags.host);
  // The parameter beats the environment.
  EXPECT_EQ("3secs", stringify(flags.network_timeout));
}


TEST_F(FlagGroupsTest, CredentialFromJsonFileAndDeprecatedPath)
{
  TemporaryDirectory directory;
  const std::string path = directory.write("credential.json", CREDENTIAL_JSON);

  {
    LogCapture log;
    mesos::sentrel::Flags flags;
    ASSERT_TRUE(
        corvanta::loadModuleFlags(
            &flags,
            parameters({{"service_account_credential", "file://" + path}}))
            .isSome());
    ASSERT_TRUE(flags.service_account_credential.isSome());
    EXPECT_EQ("svc-agent", flags.service_account_credential->uid());
    EXPECT_EQ("RS256", flags.service_account_credential->scheme());
    EXPECT_EQ("PEM", flags.service_account_credential->private_key());
    EXPECT_FALSE(log.contains(google::GLOG_WARNING, ABSOLUTE_PATH_WARNING));
  }

  {
    LogCapture log;
    mesos::sentrel::Flags flags;
    ASSERT_TRUE(corvanta::loadModuleFlags(
                    &flags, parameters({{"service_account_credential", path}}))
                    .isSome());
    ASSERT_TRUE(flags.service_account_credential.isSome());
    EXPECT_EQ(
        "http://127.0.0.1:8101/acs/api/v1/auth/login",
        flags.service_account_credential->login_endpoint());
    EXPECT_TRUE(log.contains(google::GLOG_WARNING, ABSOLUTE_PATH_WARNING));
  }
}


TEST_F(FlagGroupsTest, CredentialFailures)
{
  TemporaryDirectory directory;
  const std::string missing = directory.path() + "/missing.json";

  struct Case
  {
    std::string value;
    std::string error;
  };

  const std::string prefix =
      "Failed to parse parameters: Failed to load flag "
      "'service_account_credential': Failed to load value '";

  // An inline value is never quoted (it would hold a private key), nor is
  // the text a JSON error would show; a path is.
  const std::string inline_ = "<inline credential, not shown>";
  const Case cases[] = {
      {R"({"scheme":"RS256","uid":"u","login_endpoint":"http://x/"})",
       inline_ + "': Missing required fields: private_key"},
      {R"({"uid":"u"})",
       inline_ +
           "': Missing required fields: scheme, private_key, "
           "login_endpoint"},
      {R"({"scheme":"RS256","uid":7,"private_key":"k","login_endpoint":"e"})",
       inline_ + "': Not expecting a JSON number for field 'uid'"},
      {"[1, 2]", inline_ + "': Unexpected JSON type parsed"},
      {"not json", inline_ + "': syntax error at line 1"},
      {"{} trailing",
       inline_ +
           "': Parsed JSON included non-whitespace "
           "trailing characters"},
      {missing,
       missing + "': Error reading file '" + missing +
           "': Failed to open "
           "file: No such file or directory"},
  };

  for (const Case& c : cases) {
    mesos::sentrel::Flags flags;
    Try<Nothing> load = corvanta::loadModuleFlags(
        &flags, parameters({{"service_account_credential", c.value}}));
    ASSERT_TRUE(load.isError()) << c.value;
    EXPECT_EQ(prefix + c.error, load.error());
  }

  // A "file://" path that cannot be read fails before parsing.
  mesos::sentrel::Flags flags;
  Try<Nothing> load = corvanta::loadModuleFlags(
      &flags,
      parameters({{"service_account_credential", "file://" + missing}}));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      prefix + "file://" + missing + "': Error reading file '" + missing +
          "': Failed to open file: No such file or directory",
      load.error());
}


TEST_F(FlagGroupsTest, AuthorizerValidation)
{
  mesos::ovra::OVRAAuthorizerFlags agent;
  ASSERT_TRUE(corvanta::loadModuleFlags(&agent, parameters({{"host", "agent"}}))
                  .isSome());
  Try<Nothing> validate = agent.validate();
  ASSERT_TRUE(validate.isError());
  EXPECT_EQ(
      "'service_account_credential' is required on non master nodes.",
      validate.error());

  mesos::ovra::OVRAAuthorizerFlags master;
  ASSERT_TRUE(
      corvanta::loadModuleFlags(&master, parameters({{"host", "master"}}))
          .isSome());
  EXPECT_TRUE(master.validate().isSome());

  mesos::ovra::OVRAAuthorizerFlags withAccount;
  ASSERT_TRUE(corvanta::loadModuleFlags(
                  &withAccount,
                  parameters(
                      {{"host", "agent"},
                       {"service_account_credential", CREDENTIAL_JSON}}))
                  .isSome());
  EXPECT_TRUE(withAccount.validate().isSome());
}


TEST_F(FlagGroupsTest, ClassicAuthenticatorIgnoresUnknownParameters)
{
  environment_.set("OVRA_SHELL_TIMEOUT", "9secs");
  environment_.set("OVRA_NETWORK_TIMEOUT", "8secs");

  corvanta::ovra::AuthenticatorFlags flags;
  ASSERT_TRUE(corvanta::loadModuleFlags(
                  &flags,
                  parameters({{"network_timeout", "3secs"}, {"unknown", "x"}}),
                  true)
                  .isSome());

  EXPECT_EQ("9secs", stringify(flags.shell_timeout));
  EXPECT_EQ("3secs", stringify(flags.network_timeout));
  EXPECT_TRUE(flags.audit_log);

  Try<Nothing> load =
      corvanta::loadModuleFlags(&flags, parameters({{"audit_log", "maybe"}}));
  ASSERT_TRUE(load.isError());
  EXPECT_EQ(
      "Failed to parse parameters: Failed to load flag 'audit_log': Failed to "
      "load value 'maybe': Expecting a boolean (e.g., true or false)",
      load.error());
}
