#ifndef __COMMON_MODULE_FACTORY_HPP__
#define __COMMON_MODULE_FACTORY_HPP__

// What the module factories share: the values of the descriptors, and the
// loading of a module's parameters into its flags.

#include <string>

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

} // namespace corvanta {

#endif // __COMMON_MODULE_FACTORY_HPP__
