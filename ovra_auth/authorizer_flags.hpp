#ifndef __OVRA_AUTH_AUTHORIZER_FLAGS_HPP__
#define __OVRA_AUTH_AUTHORIZER_FLAGS_HPP__

// Flags of the authorizer (OVRAAuthorizer::Flags).

#include <cstddef>
#include <string>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/sentrel/flags.hpp"

namespace mesos {
namespace ovra {

class OVRAAuthorizerFlags
  : public sentrel::Flags,
    public sentrel::HostFlags,
    public sentrel::SentrelRemoteFlags,
    public sentrel::AnonymousUserFlags,
    public corvanta::AuditLogFlags
{
public:
  OVRAAuthorizerFlags();

  // Checks what loading cannot: an agent must have a service account to
  // fetch permissions with.
  Try<Nothing> validate() const;

  std::string prefix;
  std::string users;
  std::string permissions;
  Duration cache_timeout;
  size_t cache_size;
  std::string ovra_space_label;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZER_FLAGS_HPP__
