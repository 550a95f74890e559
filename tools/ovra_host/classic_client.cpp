#include "tools/ovra_host/classic_client.hpp"
#include "tools/ovra_host/module_creation.hpp"

#include <algorithm>

#include <glog/logging.h>

#include <mesos/module/authenticatee.hpp>

#include <process/defer.hpp>
#include <process/delay.hpp>

#include <stout/duration.hpp>
#include <stout/lambda.hpp>


using process::Future;
using process::UPID;

namespace ovra_host {

namespace {

// Mesos 1.2.0's agent: the attempt's time limit, the backoff factor and
// its bound.
const Duration AUTHENTICATION_LIMIT = Seconds(5);
const Duration BACKOFF_FACTOR = Seconds(1);
const Duration MAX_BACKOFF = Minutes(1);

} // namespace {


ClassicClientProcess::ClassicClientProcess(
    const LoadedModules& modules,
    const std::string& authenticatee,
    const UPID& master,
    const mesos::Credential& credential,
    size_t attempts)
  : ProcessBase("slave(1)"),
    modules_(modules),
    authenticatee_(authenticatee),
    master_(master),
    credential_(credential),
    attempts_(attempts),
    random_(std::random_device()()) {}


void ClassicClientProcess::initialize()
{
  link(master_);
  authenticate();
}


void ClassicClientProcess::exited(const UPID& pid)
{
  LOG(WARNING) << "Lost the connection to " << pid;
}


void ClassicClientProcess::authenticate()
{
  Try<mesos::Authenticatee*> module =
    createModule<mesos::Authenticatee>(modules_, authenticatee_);
  if (module.isError()) {
    outcome_.fail(
        "Could not create authenticatee module '" + authenticatee_ + "': " +
        module.error());
    return;
  }
  module_.reset(module.get());

  LOG(INFO) << "Authenticating with master " << master_;

  Future<bool> future = module_->authenticate(master_, self(), credential_);
  future.onAny(defer(self(), &Self::_authenticate, lambda::_1));
  process::delay(
      AUTHENTICATION_LIMIT, self(), &Self::authenticationTimeout, future);
}


void ClassicClientProcess::_authenticate(const Future<bool>& future)
{
  // Each attempt has a module object of its own.
  module_.reset();

  if (future.isReady()) {
    if (future.get()) {
      LOG(INFO) << "Successfully authenticated with master " << master_;
    } else {
      LOG(ERROR) << "Master " << master_ << " refused authentication";
    }
    outcome_.set(future.get());
    return;
  }

  const std::string failure =
    future.isFailed() ? future.failure() : "future discarded";
  LOG(WARNING) << "Failed to authenticate with master " << master_ << ": "
               << failure;

  ++failures_;
  if (attempts_ > 0 && failures_ >= attempts_) {
    outcome_.fail(failure);
    return;
  }

  // A random part of the doubling backoff, as the agent waits.
  const double bound = std::min(
      BACKOFF_FACTOR.secs() * (1 << std::min<size_t>(failures_, 10)),
      MAX_BACKOFF.secs());
  const Duration backoff = Milliseconds(static_cast<int64_t>(
      std::uniform_real_distribution<double>(0, bound)(random_) * 1000));
  process::delay(backoff, self(), &Self::authenticate);
}


void ClassicClientProcess::authenticationTimeout(Future<bool> future)
{
  if (future.discard()) {
    LOG(WARNING) << "Authentication timed out";
  }
}

} // namespace ovra_host {
