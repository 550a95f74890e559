#ifndef __COMMON_MODULE_FACTORY_HPP__
#define __COMMON_MODULE_FACTORY_HPP__

// What the module factories share: the values of the descriptors, and the
// loading of a module's parameters into its flags.

#include <map>
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

// The parameters as a map from key to value; of a key given twice the later
// value wins. Parameters that lack a key or a value are left out.
std::map<std::string, std::string> parametersMap(
    const mesos::Parameters& parameters);

// Loads the parameters into `flags` as the module factories do: a parameter
// that names no flag is an error, and "OVRA_<flag>" environment variables
// fill the flags that no parameter gives. On failure the error reads
// "Failed to parse parameters: " and the load error; each load warning is
// logged at WARNING.
Try<Nothing> loadModuleFlags(
    flags::FlagsBase* flags,
    const mesos::Parameters& parameters);

// Turns the result of a flags load into the factories' form: the error
// "Failed to parse parameters: " and the load error, or success after each
// load warning is logged at WARNING.
Try<Nothing> reportFlagsLoad(const Try<flags::Warnings>& load);

// Logs that a descriptor's module cannot be constructed by this build.
void logModuleNotAvailable(const std::string& descriptor);

} // namespace corvanta {

#endif // __COMMON_MODULE_FACTORY_HPP__
