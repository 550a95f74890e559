#include "ovra_classic_rpc_authn/unguessable_id.hpp"

#include <openssl/rand.h>

#include <stout/error.hpp>

#include "common/openssl.hpp"

namespace corvanta {
namespace ovra {

Try<std::string> unguessableId(const std::string& base)
{
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof(bytes)) != 1) {
    return Error(openssl::addErrorReason(
        "Failed to make an actor id for '" + base + "'"));
  }

  static const char DIGITS[] = "0123456789abcdef";
  std::string id = base + "(";
  for (unsigned char byte : bytes) {
    id += DIGITS[byte >> 4];
    id += DIGITS[byte & 0xf];
  }
  id += ")";
  return id;
}

} // namespace ovra {
} // namespace corvanta {
