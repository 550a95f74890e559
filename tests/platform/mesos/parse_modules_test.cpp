#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <mesos/module/hook.hpp>
#include "module/manager.hpp"

#include "platform/mesos/expect_try.hpp"

#include "support/temporary_directory.hpp"

using namespace ovra_test;

using mesos::Environment;
using mesos::ExecutorInfo;
using mesos::Hook;
using mesos::Modules;
using mesos::modules::ModuleManager;
using mesos::modules::parseModules;

using std::string;

using testing::StartsWith;

namespace {

const char kManifest[] = R"~(
{
  "libraries": [
    {
      "file": "/usr/lib/libfirst.so",
      "modules": [
        {
          "name": "org_example_First",
          "parameters": [
            {"key": "url", "value": "https://iam.example:8443"},
            {"key": "timeout", "value": "5secs"}
          ]
        },
        {"name": "org_example_Second"}
      ]
    },
    {"name": "second", "modules": [{"name": "org_example_Third"}]}
  ]
}
)~";

} // namespace {


TEST(ParseModulesTest, ReadsLibrariesModulesAndParameters)
{
  Try<Modules> modules = parseModules(kManifest);
  ASSERT_SOME(modules);

  ASSERT_EQ(2, modules->libraries_size());

  const Modules::Library& first = modules->libraries(0);
  EXPECT_EQ("/usr/lib/libfirst.so", first.file());
  EXPECT_FALSE(first.has_name());
  ASSERT_EQ(2, first.modules_size());
  EXPECT_EQ("org_example_First", first.modules(0).name());
  ASSERT_EQ(2, first.modules(0).parameters_size());
  EXPECT_EQ("url", first.modules(0).parameters(0).key());
  EXPECT_EQ("https://iam.example:8443", first.modules(0).parameters(0).value());
  EXPECT_EQ("timeout", first.modules(0).parameters(1).key());
  EXPECT_EQ(0, first.modules(1).parameters_size());

  const Modules::Library& second = modules->libraries(1);
  EXPECT_FALSE(second.has_file());
  EXPECT_EQ("second", second.name());
  EXPECT_EQ("org_example_Third", second.modules(0).name());
}


TEST(ParseModulesTest, ReadsFiles)
{
  TemporaryDirectory directory;
  const string path = directory.write("modules.json", kManifest);

  // Both the file:// form and the older absolute path.
  for (const string& value : {"file://" + path, path}) {
    Try<Modules> modules = parseModules(value);
    ASSERT_SOME(modules);
    EXPECT_EQ(2, modules->libraries_size()) << value;
  }

  Try<Modules> missing = parseModules("file:///nonexistent/modules.json");
  ASSERT_ERROR(missing);
  EXPECT_THAT(
      missing.error(),
      StartsWith("Error reading file '/nonexistent/modules.json': "));
}


TEST(ParseModulesTest, Errors)
{
  EXPECT_ERROR(parseModules("{\"libraries\": ["));

  EXPECT_ERROR_EQ(
      "Unexpected JSON type parsed",
      parseModules("[{\"file\": \"/usr/lib/libfirst.so\"}]"));

  // A parameter needs both key and value.
  EXPECT_ERROR_EQ(
      "Missing required fields: libraries[0].modules[0].parameters[0].value",
      parseModules(R"~({"libraries": [{"file": "/x.so", "modules": [)~"
                   R"~({"name": "m", "parameters": [{"key": "k"}]}]}]})~"));
}


// What Mesos does with --modules: parse, load, create with the parameters.
TEST(ParseModulesTest, ManifestLoadsTheModules)
{
  ModuleManager::unloadAll();

  Try<Modules> modules = parseModules(
      R"~({"libraries": [{"file": ")~" + string(FRAME_TEST_MODULES) +
      R"~(", "modules": [{"name": "org_ovra_test_Hook", "parameters": )~"
      R"~([{"key": "role", "value": "agent"}]}]}]})~");
  ASSERT_SOME(modules);
  ASSERT_SOME(ModuleManager::load(modules.get()));

  Try<Hook*> hook = ModuleManager::create<Hook>("org_ovra_test_Hook");
  ASSERT_SOME(hook);

  // The test hook reports its parameters as an environment.
  Result<Environment> environment =
      hook.get()->slaveExecutorEnvironmentDecorator(ExecutorInfo());
  ASSERT_TRUE(environment.isSome());
  ASSERT_EQ(1, environment->variables_size());
  EXPECT_EQ("role", environment->variables(0).name());
  EXPECT_EQ("agent", environment->variables(0).value());

  delete hook.get();
  ModuleManager::unloadAll();
}
