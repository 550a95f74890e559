// Descriptors for the module manager's tests. Each global below is looked
// up by its name; the tests name the descriptor they load.

#include <string>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>

#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>

#include <stout/result.hpp>

using mesos::Environment;
using mesos::ExecutorInfo;
using mesos::Hook;
using mesos::Parameter;
using mesos::Parameters;
using mesos::modules::Module;
using mesos::modules::ModuleBase;

namespace {

// Reports the parameters it was created with as its executor environment,
// so that tests can see them through the Hook interface.
class ParametersHook : public Hook
{
public:
  explicit ParametersHook(const Parameters& parameters)
    : parameters_(parameters) {}

  Result<Environment> slaveExecutorEnvironmentDecorator(
      const ExecutorInfo&) override
  {
    Environment environment;
    for (const Parameter& parameter : parameters_.parameter()) {
      Environment::Variable* variable = environment.add_variables();
      variable->set_name(parameter.key());
      variable->set_value(parameter.value());
    }
    return environment;
  }

private:
  const Parameters parameters_;
};


Hook* createHook(const Parameters& parameters)
{
  return new ParametersHook(parameters);
}


Hook* createNothing(const Parameters&)
{
  return nullptr;
}


mesos::slave::Isolator* createIsolator(const Parameters&)
{
  return new mesos::slave::Isolator();
}


bool yes()
{
  return true;
}


bool no()
{
  return false;
}


// A Hook descriptor that differs from a good one only in the given fields.
Module<Hook> hook(
    const char* moduleApiVersion,
    const char* mesosVersion,
    bool (*compatible)() = nullptr,
    Hook* (*create)(const Parameters&) = createHook,
    const char* authorName = "Ovra Platform Tests")
{
  return Module<Hook>(
      moduleApiVersion,
      mesosVersion,
      authorName,
      "platform-tests@ovra.invalid",
      "A hook reporting its parameters",
      compatible,
      create);
}

} // namespace {


Module<Hook> org_ovra_test_Hook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION);

Module<Hook> org_ovra_test_CompatibleHook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION, yes);

Module<Hook> org_ovra_test_ShortVersionHook =
  hook(MESOS_MODULE_API_VERSION, "1.2");

Module<Hook> org_ovra_test_LabelledVersionHook =
  hook(MESOS_MODULE_API_VERSION, "1.2.0-rc2");

Module<Hook> org_ovra_test_OldApiHook = hook("1", MESOS_VERSION);

Module<Hook> org_ovra_test_OldMesosHook =
  hook(MESOS_MODULE_API_VERSION, "1.1.0");

Module<Hook> org_ovra_test_OldCompatibleHook =
  hook(MESOS_MODULE_API_VERSION, "1.1.0", yes);

Module<Hook> org_ovra_test_NewMesosHook =
  hook(MESOS_MODULE_API_VERSION, "1.3.0");

Module<Hook> org_ovra_test_NewCompatibleHook =
  hook(MESOS_MODULE_API_VERSION, "1.3.0", yes);

Module<Hook> org_ovra_test_IncompatibleHook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION, no);

Module<Hook> org_ovra_test_BadVersionHook =
  hook(MESOS_MODULE_API_VERSION, "1.x.0");

Module<Hook> org_ovra_test_LongVersionHook =
  hook(MESOS_MODULE_API_VERSION, "1.2.0.1");

Module<Hook> org_ovra_test_NullApiHook = hook(nullptr, MESOS_VERSION);

Module<Hook> org_ovra_test_NullAuthorHook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION, nullptr, createHook, nullptr);

Module<Hook> org_ovra_test_NullCreateResultHook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION, nullptr, createNothing);

Module<Hook> org_ovra_test_NoCreateHook =
  hook(MESOS_MODULE_API_VERSION, MESOS_VERSION, nullptr, nullptr);

ModuleBase org_ovra_test_UnknownKind(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    "Frobnicator",
    "Ovra Platform Tests",
    "platform-tests@ovra.invalid",
    "A module of a kind Mesos does not know",
    nullptr);

ModuleBase org_ovra_test_NullKind(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    nullptr,
    "Ovra Platform Tests",
    "platform-tests@ovra.invalid",
    "A module without a kind",
    nullptr);

Module<mesos::slave::Isolator> org_ovra_test_Isolator(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    "Ovra Platform Tests",
    "platform-tests@ovra.invalid",
    "An isolator with every default",
    nullptr,
    createIsolator);
