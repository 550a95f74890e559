#ifndef __OVRA_AUTH_PERMISSIONS_URL_HPP__
#define __OVRA_AUTH_PERMISSIONS_URL_HPP__

// Where the authorizer asks the IAM service for a principal's permissions.

#include <string>

#include <process/http.hpp>

#include <stout/try.hpp>

#include "ovra_auth/authorizer_flags.hpp"

namespace mesos {
namespace ovra {

// The permissions document's URL: the `iam` URL with "format=json" and the
// path extended by `users`, "/", the principal as one percent-encoded
// segment, "/" and `permissions`. An error for an empty principal.
Try<process::http::URL> permissionsURL(
    const OVRAAuthorizerFlags& flags,
    const std::string& principal);

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_PERMISSIONS_URL_HPP__
