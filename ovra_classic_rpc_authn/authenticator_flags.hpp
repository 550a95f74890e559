#ifndef __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__

// Flags of the classic RPC authenticator. Both time-outs are loaded and
// copied into every session; the protocol's own limits are fixed.

#include <stout/duration.hpp>

#include "common/sentrel/flags.hpp"

namespace corvanta {
namespace ovra {

class AuthenticatorFlags : public AuditLogFlags
{
public:
  AuthenticatorFlags();

  Duration shell_timeout;
  Duration network_timeout;
};

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__
