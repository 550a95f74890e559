#ifndef __SECRETS_COMMON_ENVIRONMENT_HPP__
#define __SECRETS_COMMON_ENVIRONMENT_HPP__

// The environment that a fetched request becomes: one variable per secret,
// named after the secret's environment name in upper case, holding the
// store's value. Pure functions without state.

#include <list>
#include <string>

#include <mesos/mesos.hpp>

#include <stout/try.hpp>

#include "secrets/common/request.hpp"
#include "secrets/secrets.pb.h"

namespace mesos {
namespace secrets {

// The variable name of `secret`: its `environment.name` upper-cased byte
// by byte (ASCII letters only). An error when the secret has no
// environment name, or when the name is empty or holds '=' or a NUL byte,
// which no environment can carry.
Try<std::string> variableName(const corvanta::Secret& secret);

// The environment of `secrets` from the store's answers, `bodies[i]` being
// the answer for `secrets[i]`; variables in request order. An error names
// the secret whose answer is not a SecretStoreResponse; it never quotes
// the answer, which may hold the secret.
Try<mesos::Environment> resolveEnvironment(
    const Secrets& secrets,
    const std::list<std::string>& bodies);

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_ENVIRONMENT_HPP__
