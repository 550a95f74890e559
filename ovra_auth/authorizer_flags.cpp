#include "ovra_auth/authorizer_flags.hpp"

#include <stout/error.hpp>

namespace mesos {
namespace ovra {

OVRAAuthorizerFlags::OVRAAuthorizerFlags()
{
  add(&OVRAAuthorizerFlags::prefix,
      "prefix",
      "Non superuser actions resource id prefix.",
      "ovra:mesos");

  add(&OVRAAuthorizerFlags::users,
      "users",
      "OVRA IAM users path prefix.",
      "/acs/api/v1/users");

  add(&OVRAAuthorizerFlags::permissions,
      "permissions",
      "OVRA IAM permissions path postfix.",
      "permissions");

  add(&OVRAAuthorizerFlags::cache_timeout,
      "cache_timeout",
      "Duration after which cache entries timeout.",
      Minutes(5));

  add(&OVRAAuthorizerFlags::cache_size,
      "cache_size",
      "Max number of cache entries.",
      static_cast<size_t>(100));

  add(&OVRAAuthorizerFlags::ovra_space_label,
      "ovra_space_label",
      "Name of the label (inside a TaskInfo or ExecutorInfo)\n"
      "containing the \"space\" that will be used for authorization.\n"
      "This variable should be a pre-validated path-like string.",
      "OVRA_SPACE");
}


Try<Nothing> OVRAAuthorizerFlags::validate() const
{
  // Loading has already refused an absent or empty `host`.
  if (host.isNone()) {
    return Error("'host' is required");
  }

  if (host.get() != "master" && service_account_credential.isNone()) {
    return Error(
        "'service_account_credential' is required on non master nodes.");
  }

  return Nothing();
}

} // namespace ovra {
} // namespace mesos {
