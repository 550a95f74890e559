#include "ovra_classic_rpc_authn/authenticator_flags.hpp"

namespace corvanta {
namespace ovra {

AuthenticatorFlags::AuthenticatorFlags()
{
  add(&AuthenticatorFlags::shell_timeout,
      "shell_timeout",
      "How long each shell call can take before the module aborts\n"
      "the operation.  This may result in rejected actions if the node\n"
      "is overloaded.",
      Seconds(5));

  add(&AuthenticatorFlags::network_timeout,
      "network_timeout",
      "How long each network call can take before the module aborts\n"
      "the operation.  This may result in rejected requests if the\n"
      "target server is down or overloaded.",
      Seconds(5));
}

} // namespace ovra {
} // namespace corvanta {
