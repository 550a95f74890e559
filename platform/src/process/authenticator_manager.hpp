#ifndef __PROCESS_AUTHENTICATOR_MANAGER_HPP__
#define __PROCESS_AUTHENTICATOR_MANAGER_HPP__

#include <memory>
#include <string>

#include <process/authenticator.hpp>
#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/option.hpp>

namespace process {
namespace internal {

// Authenticates `request` with the authenticator of `realm`, on the
// authentication actor. None if the realm has no authenticator; a failure
// if the authenticator failed or set other than exactly one member of its
// result. The request is shared with the actor, not copied to it.
Future<Option<http::authentication::AuthenticationResult>> authenticate(
    const std::shared_ptr<const http::Request>& request,
    const std::string& realm);

} // namespace internal {
} // namespace process {

#endif // __PROCESS_AUTHENTICATOR_MANAGER_HPP__
