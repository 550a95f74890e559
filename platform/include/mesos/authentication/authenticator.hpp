#ifndef __MESOS_AUTHENTICATION_AUTHENTICATOR_HPP__
#define __MESOS_AUTHENTICATION_AUTHENTICATOR_HPP__

// The master side of authentication between Mesos actors.

#include <string>

#include <mesos/mesos.hpp>

#include <mesos/authentication/authentication.hpp>

#include <process/future.hpp>
#include <process/pid.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace mesos {

class Authenticator
{
public:
  Authenticator() {}

  virtual ~Authenticator() {}

  virtual Try<Nothing> initialize(const Option<Credentials>& credentials) = 0;

  // Authenticates the peer `pid`: its principal on success, None if it was
  // refused. A failed future is a transient error and the peer may retry.
  // Discarding the future fails it if it is still pending.
  virtual process::Future<Option<std::string>> authenticate(
      const process::UPID& pid) = 0;
};

} // namespace mesos {

#endif // __MESOS_AUTHENTICATION_AUTHENTICATOR_HPP__
