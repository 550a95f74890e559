#ifndef __OVRA_AUTH_PERMISSIONS_ANSWER_HPP__
#define __OVRA_AUTH_PERMISSIONS_ANSWER_HPP__

// The IAM service's answer to a request for a principal's permissions.

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/try.hpp>

#include "ovra_auth/permission_index.hpp"

namespace mesos {
namespace ovra {

// The permissions in the answer, or why there are none: a failed or
// discarded request, a status other than 200 OK (whose status, headers
// and an excerpt of the body are logged at ERROR), or a body that does
// not parse.
Try<SharedPermissions> permissionsIn(
    const std::string& principal,
    const process::Future<process::http::Response>& response);

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_PERMISSIONS_ANSWER_HPP__
