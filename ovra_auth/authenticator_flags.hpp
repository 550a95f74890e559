#ifndef __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__
#define __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__

// Flags of the HTTP authenticator (OVRAHTTPAuthenticator::Flags): shared
// groups only, in this order.

#include "common/sentrel/flags.hpp"

namespace mesos {
namespace ovra {

class OVRAHTTPAuthenticatorFlags
  : public sentrel::NetworkFlags,
    public sentrel::HostFlags,
    public sentrel::SentrelRemoteFlags,
    public sentrel::AnonymousUserFlags,
    public corvanta::AuditLogFlags
{};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__
