#ifndef __SECRETS_COMMON_LIMITS_HPP__
#define __SECRETS_COMMON_LIMITS_HPP__

// How much one fetch of a task's secrets may hold, so that a task asking
// for many or large secrets costs the agent a bounded amount of memory.
// The secrets become environment variables, which Linux bounds too: one
// "NAME=value" string with its NUL may take 128 KiB (MAX_ARG_STRLEN), and
// a task whose environment is larger cannot start at all.

#include <stddef.h>

#include <algorithm>

namespace mesos {
namespace secrets {

// One secret's variable, "NAME=value" without the NUL.
constexpr size_t MAX_SECRET_VARIABLE = 128 * 1024 - 1;

// All the variables of one fetch together, as "NAME=value" strings.
constexpr size_t MAX_SECRETS_ENVIRONMENT = 1024 * 1024;

// The store's answers to one fetch together, and each one of them: room
// for a value at its bound written with JSON escapes.
constexpr size_t MAX_FETCH_ANSWERS = 16 * 1024 * 1024;
constexpr size_t MAX_SECRET_ANSWER = 1024 * 1024;

// The body bound of each store answer of a fetch of `secrets` secrets:
// an equal share of MAX_FETCH_ANSWERS, at most MAX_SECRET_ANSWER.
constexpr size_t answerLimit(size_t secrets)
{
  return std::min(MAX_SECRET_ANSWER, MAX_FETCH_ANSWERS / std::max<size_t>(secrets, 1));
}

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_LIMITS_HPP__
