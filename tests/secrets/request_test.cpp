// The label rules of a secrets request: which secrets a space may read,
// which names and variable names are refused, and the parse errors.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <stout/option.hpp>

#include "secrets/common/request.hpp"
#include "secrets/common/store_client.hpp"

using mesos::secrets::extractSecrets;
using mesos::secrets::secretPath;
using mesos::secrets::validateSecretSpace;

namespace {

const char LABEL[] = "SECRETS";

mesos::ExecutorInfo executorWith(const std::string& secrets)
{
  mesos::ExecutorInfo executor;
  executor.mutable_executor_id()->set_value("e");
  mesos::Label* label = executor.mutable_labels()->add_labels();
  label->set_key(LABEL);
  label->set_value(secrets);
  return executor;
}


std::string errorOf(const std::string& space, const std::string& secrets)
{
  Result<mesos::secrets::Secrets> result =
      extractSecrets(space, LABEL, executorWith(secrets), None());
  return result.isError() ? result.error() : "";
}

} // namespace {


TEST(SecretSpaceTest, SecretsAreReadableFromTheirSpaceAndItsAncestors)
{
  struct Case
  {
    std::string space;
    std::string name;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"a/b", "a/b/s", ""},
      {"a/b", "a/s", ""},
      {"a/b", "s", ""},
      {"/a//b/", "/a/b/s", ""},
      {"a/b", "a/b/c/s", "Requested secret 'a/b/c/s' is out of bounds of: a/b"},
      {"a/b", "x/s", "Requested secret 'x/s' is not accessible from: a/b"},
      {"a/b", "", "Requested secret '' is out of bounds of: a/b"},
      {"a/b", "/", "Requested secret '/' is out of bounds of: a/b"},
  };

  for (const Case& c : cases) {
    const Option<Error> error = validateSecretSpace(c.space, c.name);
    EXPECT_EQ(c.error, error.isSome() ? error->message : "")
        << "space '" << c.space << "', secret '" << c.name << "'";
  }
}


TEST(SecretsLabelTest, UnusableRequestsAreRefusedWithTheirReason)
{
  const std::string prefix = "Invalid contents for label SECRETS: ";
  struct Case
  {
    std::string label;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"[]", ""},
      {R"([{"name":"a/s","type":"ENVIRONMENT","environment":{"name":"x"}}])",
       ""},
      {"{}",
       prefix +
           "Failed to parse value as json: Unexpected JSON type "
           "parsed"},
      {std::string(100000, '['),
       prefix +
           "Failed to parse value as json: JSON nests deeper than 100 "
           "levels"},
      {R"([{"name":"s","type":1,"environment":{"name":"x"}}])",
       prefix +
           "Failed to convert JSON value to the 'Secrets' schema:Not "
           "expecting a JSON number for field 'type'"},
      {R"([{"name":"s","type":"environment","environment":{"name":"x"}}])",
       prefix +
           "Failed to convert JSON value to the 'Secrets' schema:Failed "
           "to find enum for 'environment'"},
      {R"([{"name":"s","type":"UNKNOWN"},{"name":"x/y/z/s"}])",
       prefix +
           "Failed to convert JSON value to the 'Secrets' schema:Missing "
           "required fields: type"},
      {R"([{"name":"s","type":"UNKNOWN"},)"
       R"({"name":"x/y/z/s","type":"ENVIRONMENT"}])",
       "Unsupported secret type"},
      {R"([{"name":"a/..","type":"ENVIRONMENT","environment":{"name":"x"}}])",
       "Requested secret 'a/..' holds the path component '..'"},
      {R"([{"name":".","type":"ENVIRONMENT","environment":{"name":"x"}}])",
       "Requested secret '.' holds the path component '.'"},
      {R"([{"name":"s","type":"ENVIRONMENT"}])",
       "Requested secret 's' names no environment variable "
       "('environment.name' is missing)"},
      {R"([{"name":"s","type":"ENVIRONMENT","environment":{"name":""}}])",
       "Requested secret 's' names an empty environment variable"},
      {R"([{"name":"s","type":"ENVIRONMENT","environment":{"name":"A=B"}}])",
       "Requested secret 's' names an environment variable holding '=' or a "
       "NUL byte"},
  };

  for (const Case& c : cases) {
    EXPECT_EQ(c.error, errorOf("a/b", c.label)) << c.label;
  }
}


TEST(SecretsLabelTest, ExecutorLabelWinsOverTheTasks)
{
  mesos::TaskInfo task;
  mesos::Label* label = task.mutable_labels()->add_labels();
  label->set_key(LABEL);
  label->set_value("[]");

  Result<mesos::secrets::Secrets> secrets =
      extractSecrets("a", LABEL, executorWith("not json"), task);
  ASSERT_TRUE(secrets.isError());
  EXPECT_EQ(
      0u,
      secrets.error().find("Invalid contents for label SECRETS: "
                           "Failed to parse value as json: "));

  EXPECT_TRUE(
      extractSecrets("a", LABEL, mesos::ExecutorInfo(), None()).isNone());
}


TEST(SecretPathTest, ComponentsArePercentEncoded)
{
  struct Case
  {
    std::string name;
    std::string path;
  };
  const std::vector<Case> cases = {
      {"a/b", "secret/default/a/b"},
      {"team1/app/db-url_2.x", "secret/default/team1/app/db-url_2.x"},
      {"a b/c?d#e", "secret/default/a%20b/c%3Fd%23e"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.path, secretPath(c.name)) << c.name;
  }
}


// Each secret is one request to the store: a label may name at most 256.
TEST(SecretsLabelTest, AtMost256SecretsPerRequest)
{
  auto request = [](size_t count) {
    std::string label = "[";
    for (size_t i = 0; i < count; ++i) {
      label += std::string(i == 0 ? "" : ",") + R"({"name":"s)" +
          std::to_string(i) +
          R"(","type":"ENVIRONMENT","environment":{"name":"x"}})";
    }
    return label + "]";
  };

  EXPECT_EQ("", errorOf("a", request(256)));
  EXPECT_EQ(
      "Invalid contents for label SECRETS: A request names 257 "
      "secrets, more than the 256 allowed",
      errorOf("a", request(257)));
}
