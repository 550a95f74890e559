#include <map>
#include <memory>
#include <string>

#include <glog/logging.h>

#include <process/authenticator.hpp>
#include <process/dispatch.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include "authenticator_manager.hpp"

// The authenticators by realm live in one actor, so that installing,
// removing and using them never race.

namespace process {
namespace http {
namespace authentication {
namespace {

class AuthenticatorManagerProcess
  : public Process<AuthenticatorManagerProcess>
{
public:
  AuthenticatorManagerProcess()
    : ProcessBase(ID::generate("__authentication_router__")) {}

  Future<Nothing> setAuthenticator(
      const std::string& realm,
      Owned<Authenticator> authenticator)
  {
    if (authenticator.get() == nullptr) {
      return Failure("Authenticator for realm '" + realm + "' is null");
    }
    authenticators_[realm] = authenticator;
    return Nothing();
  }

  Future<Nothing> unsetAuthenticator(const std::string& realm)
  {
    authenticators_.erase(realm);
    return Nothing();
  }

  Future<Option<AuthenticationResult>> authenticate(
      const std::shared_ptr<const Request>& request,
      const std::string& realm)
  {
    auto it = authenticators_.find(realm);
    if (it == authenticators_.end()) {
      VLOG(2) << "Request for '" << request->url.path << "' requires"
              << " authentication in realm '" << realm << "'"
              << " but no authenticator found";
      return None();
    }

    return it->second->authenticate(*request)
      .then([](const AuthenticationResult& result)
                -> Future<Option<AuthenticationResult>> {
        const int set = (result.principal.isSome() ? 1 : 0) +
                        (result.unauthorized.isSome() ? 1 : 0) +
                        (result.forbidden.isSome() ? 1 : 0);
        if (set != 1) {
          return Failure(
              "Expecting one of 'principal', 'unauthorized',"
              " or 'forbidden' to be set");
        }
        return Option<AuthenticationResult>(result);
      });
  }

private:
  std::map<std::string, Owned<Authenticator>> authenticators_;
};


// Spawned on first use and never ended.
PID<AuthenticatorManagerProcess> manager()
{
  static PID<AuthenticatorManagerProcess> pid =
    spawn(new AuthenticatorManagerProcess(), true);
  return pid;
}

} // namespace {


Future<Nothing> setAuthenticator(
    const std::string& realm,
    Owned<Authenticator> authenticator)
{
  return dispatch(
      manager(),
      &AuthenticatorManagerProcess::setAuthenticator,
      realm,
      authenticator);
}


Future<Nothing> unsetAuthenticator(const std::string& realm)
{
  return dispatch(
      manager(), &AuthenticatorManagerProcess::unsetAuthenticator, realm);
}

} // namespace authentication {
} // namespace http {


namespace internal {

Future<Option<http::authentication::AuthenticationResult>> authenticate(
    const std::shared_ptr<const http::Request>& request,
    const std::string& realm)
{
  return dispatch(
      http::authentication::manager(),
      &http::authentication::AuthenticatorManagerProcess::authenticate,
      request,
      realm);
}

} // namespace internal {
} // namespace process {
