#ifndef __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__

// Flags of the classic RPC authenticator. Both time-outs are loaded and
// copied into every session; the protocol's own limits are fixed.

#include <mesos/mesos.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

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


// Loads the authenticator's flags from the parameters and, for flags that
// no parameter gives, from the "OVRA_<flag>" environment variables;
// parameters that name no flag are ignored. On failure the error reads "Failed to parse
// parameters: " and the load error; each load warning is logged at WARNING.
Try<Nothing> loadAuthenticatorFlags(
    AuthenticatorFlags* flags,
    const mesos::Parameters& parameters);

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATOR_FLAGS_HPP__
