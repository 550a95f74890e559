#ifndef __OVRA_CLASSIC_RPC_AUTHN_UNGUESSABLE_ID_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_UNGUESSABLE_ID_HPP__

// Actor ids that a third party cannot guess. libprocess trusts the sender
// that a message names (its "Libprocess-From"), so an actor that acts on
// messages from one peer only is safe from forged senders only while no
// one else can address it: its id is known to that peer alone.

#include <string>

#include <stout/try.hpp>

namespace corvanta {
namespace ovra {

// `base`, then 128 random bits from OpenSSL's generator as 32 lower-case
// hex digits in parentheses. Fails only when the generator does.
Try<std::string> unguessableId(const std::string& base);

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_UNGUESSABLE_ID_HPP__
