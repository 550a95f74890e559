#ifndef __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__
#define __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__

// Flags of the HTTP authenticator (OVRAHTTPAuthenticator::Flags): the
// shared groups in this order, then the opt-in key cache's own.

#include "common/sentrel/flags.hpp"
#include "ovra_auth/key_cache_flags.hpp"

namespace mesos {
namespace ovra {

class OVRAHTTPAuthenticatorFlags
  : public sentrel::NetworkFlags,
    public sentrel::HostFlags,
    public sentrel::SentrelRemoteFlags,
    public sentrel::AnonymousUserFlags,
    public corvanta::AuditLogFlags,
    public KeyCacheFlags
{};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHENTICATOR_FLAGS_HPP__
