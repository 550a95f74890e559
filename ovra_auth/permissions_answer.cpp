#include "ovra_auth/permissions_answer.hpp"

#include <memory>
#include <utility>

#include <glog/logging.h>

#include <stout/error.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel/excerpt.hpp"
#include "ovra_auth/permissions.hpp"

namespace http = process::http;

using process::Future;

namespace mesos {
namespace ovra {

Try<SharedPermissions> permissionsIn(
    const std::string& principal,
    const Future<http::Response>& response)
{
  if (response.isDiscarded()) {
    return Error("Request discarded");
  }

  if (response.isFailed()) {
    return Error("HTTP get from OVRA IAM failed: " + response.failure());
  }

  if (response->code != http::Status::OK) {
    LOG(ERROR) << "HTTP status code: " << response->code;
    for (const auto& [name, value] : response->headers) {
      LOG(ERROR) << "HTTP header: " << name << ": " << value;
    }
    LOG(ERROR) << "HTTP body:\n" << sentrel::excerpt(response->body);

    return Error(
        "HTTP status code not OK (200) but " + stringify(response->code));
  }

  VLOG(2) << "Principal '" << principal << "' has permissions '"
          << sentrel::excerpt(response->body) << "'";

  Try<Permissions> permissions = parsePermissions(response->body);
  if (permissions.isError()) {
    return Error(permissions.error());
  }

  return std::make_shared<const PermissionIndex>(std::move(permissions.get()));
}

} // namespace ovra {
} // namespace mesos {
