#ifndef __COMMON_MODULE_FACTORY_HPP__
#define __COMMON_MODULE_FACTORY_HPP__

// What the module factories share: the values of the descriptors, the
// loading of a module's parameters into its flags, and the one way every
// factory creates its module (each module's policy is a row of
// common/module_policies.hpp).

#include <functional>
#include <string>

#include <glog/logging.h>

#include <mesos/mesos.hpp>

#include <stout/flags.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace corvanta {

constexpr char MODULE_AUTHOR_NAME[] = "Corvanta";
constexpr char MODULE_AUTHOR_EMAIL[] = "support@corvanta.com";
// The classic RPC pair is supported by the security team directly.
constexpr char CLASSIC_RPC_MODULE_AUTHOR_EMAIL[] =
  "security-support@corvanta.com";

// The environment prefix under which every module flag can also be given.
constexpr char FLAGS_ENVIRONMENT_PREFIX[] = "OVRA_";

// Loads the parameters into `flags` as the module factories do: a parameter
// that names no flag is an error unless `unknowns` allows it, and
// "OVRA_<flag>" environment variables fill the flags that no parameter
// gives. On failure the error reads "Failed to parse parameters: " and the
// load error; each load warning is logged at WARNING.
Try<Nothing> loadModuleFlags(
    flags::FlagsBase* flags,
    const mesos::Parameters& parameters,
    bool unknowns = false);


// What a factory does once its module's check has failed. Either way the
// failure is logged at ERROR.
enum class OnCheckFailure
{
  REFUSE, // No module: Mesos fails to load it.
  CREATE, // The module all the same; it meets the fault when it is used.
};


// How one module is created: what its failures are logged under, and what
// a failed check does. An empty text logs the error alone.
struct ModulePolicy
{
  const char* loadFailure;
  const char* checkFailure;
  OnCheckFailure onCheckFailure;
  const char* makeFailure;
};


// A step of a module's creation; an empty one always succeeds.
using CreationStep = std::function<Try<Nothing>()>;


// Whether creation may go on to make the module: `load` and then `check`
// run, each failure logged at ERROR under `policy`'s texts; a failed load
// stops creation, a failed check as `policy` says.
bool admitted(
    const ModulePolicy& policy,
    const CreationStep& load,
    const CreationStep& check);


// Creates a module the one way every factory here does: `load` (its
// parameters, which a failure refuses), then `check`, then `make`, whose
// failure refuses. Failures are logged at ERROR under `policy`'s texts.
// Null means refused; Mesos's module manager then reports "Error creating
// Module instance".
template <typename T>
T* createModule(
    const ModulePolicy& policy,
    const CreationStep& load,
    const CreationStep& check,
    const std::function<Try<T*>()>& make)
{
  if (!admitted(policy, load, check)) {
    return nullptr;
  }

  Try<T*> module = make();
  if (module.isError()) {
    LOG(ERROR) << policy.makeFailure << module.error();
    return nullptr;
  }
  return module.get();
}

} // namespace corvanta {

#endif // __COMMON_MODULE_FACTORY_HPP__
