#ifndef __COMMON_SENTREL_TIME_LIMIT_HPP__
#define __COMMON_SENTREL_TIME_LIMIT_HPP__

// The time limit that every remote call of the modules runs under.

#include <string>

#include <process/future.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

namespace mesos {
namespace sentrel {

// What happens to the operation behind a future past its time limit.
enum class PastTheLimit
{
  // It runs on; its late result is dropped. For futures that others share.
  RUNS_ON,
  // It is discarded too. For a remote call that only the caller holds: the
  // HTTP client then closes the connection instead of reading on.
  DISCARDED,
};


// `future` as it completes within `limit` on libprocess's clock, counted
// from this call; past the limit the result fails with `message` followed
// by the limit in stout's form ("... Timed out after 5secs").
template <typename T>
process::Future<T> withTimeLimit(
    const process::Future<T>& future,
    const Duration& limit,
    const std::string& message,
    PastTheLimit pastTheLimit = PastTheLimit::RUNS_ON)
{
  const std::string failure = message + stringify(limit);
  return future.after(
      limit, [failure, pastTheLimit](const process::Future<T>& pending) {
        if (pastTheLimit == PastTheLimit::DISCARDED) {
          process::Future<T>(pending).discard();
        }
        return process::Future<T>::failed(failure);
      });
}

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_TIME_LIMIT_HPP__
