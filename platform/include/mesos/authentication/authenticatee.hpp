#ifndef __MESOS_AUTHENTICATION_AUTHENTICATEE_HPP__
#define __MESOS_AUTHENTICATION_AUTHENTICATEE_HPP__

// The client side of authentication between Mesos actors (agent or
// scheduler driver towards the master).

#include <mesos/mesos.hpp>

#include <mesos/authentication/authentication.hpp>

#include <process/future.hpp>
#include <process/pid.hpp>

namespace mesos {

class Authenticatee
{
public:
  Authenticatee() {}

  virtual ~Authenticatee() {}

  // Authenticates `client` against `pid` (the master) with `credential`.
  // True: authenticated; false: refused. A failed future is a transient
  // error and the caller may retry. Discarding the future fails it if it is
  // still pending, since a started exchange cannot be cancelled.
  virtual process::Future<bool> authenticate(
      const process::UPID& pid,
      const process::UPID& client,
      const mesos::Credential& credential) = 0;
};

} // namespace mesos {

#endif // __MESOS_AUTHENTICATION_AUTHENTICATEE_HPP__
