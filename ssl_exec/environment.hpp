#ifndef __SSL_EXEC_ENVIRONMENT_HPP__
#define __SSL_EXEC_ENVIRONMENT_HPP__

// The environment that points an executor's libprocess at the SSL files in
// its sandbox and hands on the agent's SSL switches, after the operator's
// own variables. Plain functions without state.

#include <stddef.h>

#include <map>
#include <string>

#include <mesos/mesos.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "ssl_exec/flags.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

// The longest `executor_environment` that is parsed.
constexpr size_t MAX_EXECUTOR_ENVIRONMENT_SIZE = 1024 * 1024;

// The variables of the `executor_environment` flag, a JSON object whose
// members are all strings; an empty map without the flag.
Try<std::map<std::string, std::string>> executorEnvironment(
    const Option<std::string>& input);

// The operator's variables (less the LIBPROCESS_SSL_* names computed here,
// each skipped with a warning), then the seven LIBPROCESS_SSL_* variables:
// the three files under `root`, the sandbox as the receiving process sees
// it, and the agent's SSL switches.
Try<mesos::Environment> prepareEnvironment(
    const Flags& flags,
    const std::string& root);

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_ENVIRONMENT_HPP__
