#ifndef __COMMON_SENTREL_TIME_LIMIT_HPP__
#define __COMMON_SENTREL_TIME_LIMIT_HPP__

// The time limit that every remote call of the modules runs under.

#include <string>

#include <process/future.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

namespace mesos {
namespace sentrel {

// `future` as it completes within `limit` on libprocess's clock, counted
// from this call; past the limit the result fails with `message` followed
// by the limit in stout's form ("... Timed out after 5secs"). The operation
// behind `future` is not cancelled: its late result is dropped.
template <typename T>
process::Future<T> withTimeLimit(
    const process::Future<T>& future,
    const Duration& limit,
    const std::string& message)
{
  const std::string failure = message + stringify(limit);
  return future.after(limit, [failure](const process::Future<T>&) {
    return process::Future<T>::failed(failure);
  });
}

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_TIME_LIMIT_HPP__
