#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>
#include "module/manager.hpp"

#include <stout/strings.hpp>

#include "platform/mesos/expect_try.hpp"

#include "support/module_parameters.hpp"

using namespace ovra_test;

using mesos::Environment;
using mesos::ExecutorInfo;
using mesos::Hook;
using mesos::Modules;
using mesos::Parameter;
using mesos::Parameters;
using mesos::modules::ModuleInfo;
using mesos::modules::ModuleManager;

using std::string;
using std::vector;

using testing::ElementsAre;
using testing::StartsWith;

namespace {

const string kLibrary = FRAME_TEST_MODULES;

typedef vector<std::pair<string, string>> KeyValues;


// A manifest naming `modules` in the library at `file`.
Modules manifest(
    const vector<string>& modules,
    const KeyValues& keyValues = {},
    const string& file = kLibrary)
{
  Modules result;
  Modules::Library* library = result.add_libraries();
  library->set_file(file);
  for (const string& name : modules) {
    Modules::Library::Module* module = library->add_modules();
    module->set_name(name);
    module->mutable_parameters()->CopyFrom(parameters(keyValues).parameter());
  }
  return result;
}


// The parameters a ParametersHook was created with, in order.
KeyValues parametersOf(Hook* hook)
{
  Result<Environment> environment =
      hook->slaveExecutorEnvironmentDecorator(ExecutorInfo());

  KeyValues result;
  if (!environment.isSome()) {
    ADD_FAILURE() << "The test hook reported no environment";
    return result;
  }
  for (const Environment::Variable& variable : environment->variables()) {
    result.emplace_back(variable.name(), variable.value());
  }
  return result;
}


class ModuleManagerTest : public testing::Test
{
protected:
  void SetUp() override { ModuleManager::unloadAll(); }
  void TearDown() override { ModuleManager::unloadAll(); }

  // The error of loading the single module `name`.
  static string loadError(const string& name)
  {
    Try<Nothing> loaded = ModuleManager::load(manifest({name}));
    return loaded.isError() ? loaded.error() : "(loaded)";
  }
};

} // namespace {


TEST_F(ModuleManagerTest, LoadsAndCreatesAModule)
{
  ASSERT_SOME(ModuleManager::load(manifest({"org_ovra_test_Hook"})));

  EXPECT_TRUE(ModuleManager::contains<Hook>("org_ovra_test_Hook"));
  EXPECT_FALSE(
      ModuleManager::contains<mesos::slave::Isolator>("org_ovra_test_Hook"));
  EXPECT_FALSE(ModuleManager::contains<Hook>("org_ovra_test_Other"));

  Try<Hook*> hook = ModuleManager::create<Hook>("org_ovra_test_Hook");
  ASSERT_SOME(hook);
  ASSERT_NE(nullptr, hook.get());
  EXPECT_TRUE(parametersOf(hook.get()).empty());
  delete hook.get();
}


TEST_F(ModuleManagerTest, AcceptedVersions)
{
  // With `compatible`, and versions that normalise to 1.2.0.
  for (const char* name :
       {"org_ovra_test_CompatibleHook",
        "org_ovra_test_ShortVersionHook",
        "org_ovra_test_LabelledVersionHook"}) {
    EXPECT_EQ("(loaded)", loadError(name)) << name;
  }
}


TEST_F(ModuleManagerTest, VerificationErrors)
{
  const vector<std::pair<string, string>> cases = {
      {"org_ovra_test_NullApiHook",
       "Error verifying module 'org_ovra_test_NullApiHook': Error loading "
       "module 'org_ovra_test_NullApiHook'; missing fields"},
      {"org_ovra_test_NullAuthorHook",
       "Error verifying module 'org_ovra_test_NullAuthorHook': Error loading "
       "module 'org_ovra_test_NullAuthorHook'; missing fields"},
      {"org_ovra_test_NullKind",
       "Error verifying module 'org_ovra_test_NullKind': Error loading "
       "module 'org_ovra_test_NullKind'; missing fields"},
      {"org_ovra_test_OldApiHook",
       "Error verifying module 'org_ovra_test_OldApiHook': Module API version "
       "mismatch. Mesos has: 2, library requires: 1"},
      {"org_ovra_test_UnknownKind",
       "Error verifying module 'org_ovra_test_UnknownKind': Unknown module "
       "kind: Frobnicator"},
      {"org_ovra_test_OldMesosHook",
       "Error verifying module 'org_ovra_test_OldMesosHook': Minimum supported "
       "mesos version for 'Hook' is 1.2.0, but module is compiled with version "
       "1.1.0"},
      // The minimum holds whatever `compatible` would say.
      {"org_ovra_test_OldCompatibleHook",
       "Error verifying module 'org_ovra_test_OldCompatibleHook': Minimum "
       "supported mesos version for 'Hook' is 1.2.0, but module is compiled "
       "with version 1.1.0"},
      {"org_ovra_test_NewMesosHook",
       "Error verifying module 'org_ovra_test_NewMesosHook': Mesos has version "
       "1.2.0, but module is compiled with version 1.3.0"},
      {"org_ovra_test_NewCompatibleHook",
       "Error verifying module 'org_ovra_test_NewCompatibleHook': Mesos has "
       "version 1.2.0, but module is compiled with version 1.3.0"},
      {"org_ovra_test_IncompatibleHook",
       "Error verifying module 'org_ovra_test_IncompatibleHook': Module "
       "org_ovra_test_IncompatibleHookhas determined to be incompatible"},
      {"org_ovra_test_BadVersionHook",
       "Error verifying module 'org_ovra_test_BadVersionHook': Invalid version "
       "component 'x': Failed to convert 'x' to number"},
      {"org_ovra_test_LongVersionHook",
       "Error verifying module 'org_ovra_test_LongVersionHook': Version string "
       "has 4 components; maximum 3 components allowed"},
  };

  for (const auto& testCase : cases) {
    EXPECT_EQ(testCase.second, loadError(testCase.first)) << testCase.first;
    EXPECT_FALSE(ModuleManager::contains<Hook>(testCase.first));
  }
}


TEST_F(ModuleManagerTest, LibraryAndSymbolErrors)
{
  Modules noLibrary;
  noLibrary.add_libraries()->add_modules()->set_name("org_ovra_test_Hook");
  EXPECT_ERROR_EQ(
      "Library name or path not provided", ModuleManager::load(noLibrary));

  Modules noName = manifest({});
  noName.mutable_libraries(0)->add_modules();
  EXPECT_ERROR_EQ(
      "Error: module name not provided with library '" + kLibrary + "'",
      ModuleManager::load(noName));

  Try<Nothing> missingFile =
      ModuleManager::load(manifest({"x"}, {}, "/nonexistent/libx.so"));
  ASSERT_ERROR(missingFile);
  EXPECT_THAT(
      missingFile.error(),
      StartsWith(
          "Error opening library: '/nonexistent/libx.so': Could not load "
          "library '/nonexistent/libx.so': "));

  // A library `name` stands for lib<name>.so.
  Modules byName;
  byName.add_libraries()->set_name("ovra_no_such_library");
  Try<Nothing> missingName = ModuleManager::load(byName);
  ASSERT_ERROR(missingName);
  EXPECT_THAT(
      missingName.error(),
      StartsWith(
          "Error opening library: 'libovra_no_such_library.so': Could not "
          "load library 'libovra_no_such_library.so': "));

  Try<Nothing> missingSymbol =
      ModuleManager::load(manifest({"org_ovra_test_Missing"}));
  ASSERT_ERROR(missingSymbol);
  EXPECT_THAT(
      missingSymbol.error(),
      StartsWith(
          "Error loading module 'org_ovra_test_Missing': Error looking up "
          "symbol 'org_ovra_test_Missing' in '" +
          kLibrary + "' : "));
}


TEST_F(ModuleManagerTest, ModulesBeforeAFailureStayLoaded)
{
  EXPECT_ERROR(ModuleManager::load(manifest(
      {"org_ovra_test_Hook",
       "org_ovra_test_OldApiHook",
       "org_ovra_test_CompatibleHook"})));

  EXPECT_THAT(ModuleManager::names(), ElementsAre("org_ovra_test_Hook"));
}


TEST_F(ModuleManagerTest, CreationErrors)
{
  ASSERT_SOME(ModuleManager::load(manifest(
      {"org_ovra_test_Isolator",
       "org_ovra_test_NullCreateResultHook",
       "org_ovra_test_NoCreateHook"})));

  EXPECT_ERROR_EQ(
      "Module 'org_ovra_test_Hook' unknown",
      ModuleManager::create<Hook>("org_ovra_test_Hook"));

  EXPECT_ERROR_EQ(
      "Error creating module instance for 'org_ovra_test_Isolator': module "
      "is of kind 'Isolator', but the requested kind is 'Hook'",
      ModuleManager::create<Hook>("org_ovra_test_Isolator"));

  EXPECT_ERROR_EQ(
      "Error creating Module instance for "
      "'org_ovra_test_NullCreateResultHook'",
      ModuleManager::create<Hook>("org_ovra_test_NullCreateResultHook"));

  EXPECT_ERROR_EQ(
      "Error creating module instance for 'org_ovra_test_NoCreateHook': "
      "create() method not found",
      ModuleManager::create<Hook>("org_ovra_test_NoCreateHook"));

  Try<mesos::slave::Isolator*> isolator =
      ModuleManager::create<mesos::slave::Isolator>("org_ovra_test_Isolator");
  ASSERT_SOME(isolator);
  delete isolator.get();
}


TEST_F(ModuleManagerTest, ConfiguredParametersUnlessOverridden)
{
  const KeyValues configured = {{"b", "2"}, {"a", "1"}, {"a", "3"}};
  ASSERT_SOME(
      ModuleManager::load(manifest({"org_ovra_test_Hook"}, configured)));

  Try<Hook*> hook = ModuleManager::create<Hook>("org_ovra_test_Hook");
  ASSERT_SOME(hook);
  EXPECT_EQ(configured, parametersOf(hook.get()));
  delete hook.get();

  // Given parameters replace the configured ones entirely.
  Try<Hook*> overridden = ModuleManager::create<Hook>(
      "org_ovra_test_Hook", parameters({{"c", "override"}}));
  ASSERT_SOME(overridden);
  EXPECT_EQ(KeyValues({{"c", "override"}}), parametersOf(overridden.get()));
  delete overridden.get();

  Try<Hook*> empty =
      ModuleManager::create<Hook>("org_ovra_test_Hook", Parameters());
  ASSERT_SOME(empty);
  EXPECT_TRUE(parametersOf(empty.get()).empty());
  delete empty.get();
}


TEST_F(ModuleManagerTest, LoadingAgain)
{
  const Modules modules = manifest({"org_ovra_test_Hook"}, {{"k", "v"}});
  ASSERT_SOME(ModuleManager::load(modules));
  EXPECT_SOME(ModuleManager::load(modules));

  EXPECT_ERROR_EQ(
      "Error loading module 'org_ovra_test_Hook'; this is  potenatially due "
      "to duplicate module names; A module with same name but different "
      "parameters already exists",
      ModuleManager::load(manifest({"org_ovra_test_Hook"}, {{"k", "w"}})));

  // The same file under another name counts as another library.
  const string otherPath = kLibrary.substr(0, kLibrary.rfind('/')) + "/." +
      kLibrary.substr(kLibrary.rfind('/'));
  EXPECT_ERROR_EQ(
      "Error loading module 'org_ovra_test_Hook'; this is  potenatially due "
      "to duplicate module names; The same module appears in two different "
      "module libraries - '" +
          otherPath + "' and '" + kLibrary + "'",
      ModuleManager::load(
          manifest({"org_ovra_test_Hook"}, {{"k", "v"}}, otherPath)));

  // The first load's parameters stand.
  Try<Hook*> hook = ModuleManager::create<Hook>("org_ovra_test_Hook");
  ASSERT_SOME(hook);
  EXPECT_EQ(KeyValues({{"k", "v"}}), parametersOf(hook.get()));
  delete hook.get();
}


TEST_F(ModuleManagerTest, FindDescribeAndUnload)
{
  ASSERT_SOME(ModuleManager::load(manifest(
      {"org_ovra_test_Isolator",
       "org_ovra_test_ShortVersionHook",
       "org_ovra_test_CompatibleHook"},
      {{"k", "v"}})));

  EXPECT_THAT(
      ModuleManager::find<Hook>(),
      ElementsAre(
          "org_ovra_test_CompatibleHook", "org_ovra_test_ShortVersionHook"));
  EXPECT_THAT(
      ModuleManager::find<mesos::slave::Isolator>(),
      ElementsAre("org_ovra_test_Isolator"));

  Try<ModuleInfo> info =
      ModuleManager::describe("org_ovra_test_CompatibleHook");
  ASSERT_SOME(info);
  EXPECT_EQ("org_ovra_test_CompatibleHook", info->name);
  EXPECT_EQ(kLibrary, info->library);
  EXPECT_EQ("Hook", info->kind);
  EXPECT_EQ("2", info->moduleApiVersion);
  EXPECT_EQ("1.2.0", info->mesosVersion);
  EXPECT_EQ("Ovra Platform Tests", info->authorName);
  EXPECT_EQ("platform-tests@ovra.invalid", info->authorEmail);
  EXPECT_EQ("A hook reporting its parameters", info->description);
  EXPECT_TRUE(info->hasCompatible);
  ASSERT_EQ(1, info->parameters.parameter_size());
  EXPECT_EQ("k", info->parameters.parameter(0).key());

  // The descriptor's own text, not the normalised version.
  Try<ModuleInfo> shortVersion =
      ModuleManager::describe("org_ovra_test_ShortVersionHook");
  ASSERT_SOME(shortVersion);
  EXPECT_EQ("1.2", shortVersion->mesosVersion);
  EXPECT_FALSE(shortVersion->hasCompatible);

  EXPECT_ERROR_EQ(
      "Module 'org_ovra_test_Hook' unknown",
      ModuleManager::describe("org_ovra_test_Hook"));

  ASSERT_SOME(ModuleManager::unload("org_ovra_test_Isolator"));
  EXPECT_FALSE(ModuleManager::contains<mesos::slave::Isolator>(
      "org_ovra_test_Isolator"));
  EXPECT_ERROR_EQ(
      "Error unloading module 'org_ovra_test_Isolator': module not loaded",
      ModuleManager::unload("org_ovra_test_Isolator"));

  // After an unload, the module loads again with new parameters.
  ASSERT_SOME(
      ModuleManager::load(manifest({"org_ovra_test_Isolator"}, {{"k", "w"}})));
  Try<ModuleInfo> reloaded = ModuleManager::describe("org_ovra_test_Isolator");
  ASSERT_SOME(reloaded);
  ASSERT_EQ(1, reloaded->parameters.parameter_size());
  EXPECT_EQ("w", reloaded->parameters.parameter(0).value());
}
