// The master's side of classic authentication, as Mesos 1.2.0's master
// plays it (Master::authenticate and Master::_authenticate).

#include <glog/logging.h>

#include <mesos/authentication/authentication.hpp>

#include <process/defer.hpp>
#include <process/clock.hpp>
#include <process/delay.hpp>

#include <stout/duration.hpp>
#include <stout/lambda.hpp>
#include <stout/stringify.hpp>

#include "tools/ovra_host/host_process.hpp"

using mesos::internal::AuthenticationErrorMessage;

using process::Future;
using process::UPID;

namespace ovra_host {

namespace {

// Hard-coded in Mesos 1.2.0's master.
const Duration AUTHENTICATION_LIMIT = Seconds(5);

} // namespace {


void HostProcess::authenticate(const UPID& from, const std::string& pid)
{
  if (authenticator_.isNone()) {
    AuthenticationErrorMessage message;
    message.set_error("No authenticator loaded");
    send(from, message);
    return;
  }

  // A client that starts over: its earlier attempt is discarded, and this
  // one runs once that has ended. Repeats meanwhile only replace the
  // sender that the next attempt asks.
  auto running = authenticating_.find(pid);
  if (running != authenticating_.end()) {
    const bool first = restarts_.count(pid) == 0;
    restarts_[pid] = from;
    const Option<size_t> skipped = restartLines_.admit(process::Clock::now());
    if (skipped.isSome()) {
      LOG(INFO) << "Discarding the authentication in progress of " << pid
                << (skipped.get() > 0
                      ? " (" + stringify(skipped.get()) +
                          " such lines left out since the last)"
                      : std::string());
    }
    if (first) {
      Future<Option<std::string>> earlier = running->second;
      earlier.discard();
    }
    return;
  }

  LOG(INFO) << "Authenticating " << pid;

  // The authenticatee is the message's sender; the pid it names (the
  // client) only keys the bookkeeping.
  Future<Option<std::string>> future =
    authenticator_.get()->authenticate(from);
  authenticating_[pid] = future;

  future.onAny(defer(self(), &HostProcess::_authenticate, pid, lambda::_1));
  process::delay(
      AUTHENTICATION_LIMIT, self(), &HostProcess::authenticationTimeout, future);
}


void HostProcess::_authenticate(
    const std::string& pid,
    const Future<Option<std::string>>& future)
{
  if (future.isReady() && future->isSome()) {
    LOG(INFO) << "Successfully authenticated principal '" << future->get()
              << "' at " << pid;
    authenticated_[pid] = future->get();
  } else {
    LOG(WARNING) << "Failed to authenticate " << pid << ": "
                 << (future.isReady()
                       ? std::string("Refused authentication")
                       : future.isFailed() ? future.failure()
                                           : std::string("future discarded"));
    authenticated_.erase(pid);
  }

  auto running = authenticating_.find(pid);
  if (running != authenticating_.end() && running->second == future) {
    authenticating_.erase(running);

    auto restart = restarts_.find(pid);
    if (restart != restarts_.end()) {
      const UPID from = restart->second;
      restarts_.erase(restart);
      authenticate(from, pid);
    }
  }
}


void HostProcess::authenticationTimeout(Future<Option<std::string>> future)
{
  // Nothing happens unless the authenticator honours the discard.
  if (future.discard()) {
    LOG(WARNING) << "Authentication timed out";
  }
}

} // namespace ovra_host {
