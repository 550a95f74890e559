#ifndef __TOOLS_OVRA_HOST_CLASSIC_CLIENT_HPP__
#define __TOOLS_OVRA_HOST_CLASSIC_CLIENT_HPP__

// The client's side of classic authentication, as a Mesos 1.2.0 agent (or
// scheduler driver) plays it: the actor "slave(1)" links the master, makes
// a new Authenticatee module object for every attempt, discards an attempt
// after 5 seconds, and retries a failed one after a random part of a
// backoff that doubles from 1 second up to 1 minute. A refusal ends it.

#include <memory>
#include <random>
#include <string>

#include <mesos/authentication/authenticatee.hpp>
#include <mesos/mesos.hpp>

#include <process/future.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include "tools/ovra_host/loaded_modules.hpp"

namespace ovra_host {

class ClassicClientProcess : public process::Process<ClassicClientProcess>
{
public:
  // `attempts` bounds the attempts that fail (0: no bound, as an agent).
  // `modules` must outlive the actor.
  ClassicClientProcess(
      const LoadedModules& modules,
      const std::string& authenticatee,
      const process::UPID& master,
      const mesos::Credential& credential,
      size_t attempts);

  // True once the master accepted, false when it refused; failed when the
  // last attempt allowed failed.
  process::Future<bool> outcome() const { return outcome_.future(); }

protected:
  void initialize() override;
  void exited(const process::UPID& pid) override;

private:
  void authenticate();
  void _authenticate(const process::Future<bool>& future);
  void authenticationTimeout(process::Future<bool> future);

  const LoadedModules& modules_;
  const std::string authenticatee_;
  const process::UPID master_;
  const mesos::Credential credential_;
  const size_t attempts_;

  std::unique_ptr<mesos::Authenticatee> module_;
  size_t failures_ = 0;
  std::mt19937 random_;
  process::Promise<bool> outcome_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_CLASSIC_CLIENT_HPP__
