#ifndef __PROCESS_AUTHENTICATOR_HPP__
#define __PROCESS_AUTHENTICATOR_HPP__

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/option.hpp>

namespace process {
namespace http {
namespace authentication {

// The outcome of authenticating one request; exactly one member is set.
// `unauthorized` and `forbidden` are sent back as they are; `principal` is
// handed to the route's handler.
struct AuthenticationResult
{
  Option<std::string> principal;
  Option<Unauthorized> unauthorized;
  Option<Forbidden> forbidden;
};


// Authenticates the HTTP requests of one realm (see setAuthenticator). A
// failed future means authentication could not be decided; the request is
// then answered with an error, never let through.
class Authenticator
{
public:
  virtual ~Authenticator() {}

  virtual Future<AuthenticationResult> authenticate(const Request& request) = 0;

  // The authentication scheme handled, e.g. "Basic".
  virtual std::string scheme() const = 0;
};

} // namespace authentication {
} // namespace http {
} // namespace process {

#endif // __PROCESS_AUTHENTICATOR_HPP__
