#ifndef __TESTS_SUPPORT_IAM_KEY_SET_HPP__
#define __TESTS_SUPPORT_IAM_KEY_SET_HPP__

#include <string>

#include "support/fault_peer.hpp"
#include "support/test_keys.hpp"

namespace ovra_test {
namespace iam_key_set {

// Where the modules fetch the IAM service's key set.
constexpr char PATH[] = "/acs/api/v1/auth/jwks";

// A FaultPeer handler that serves the IAM service's key set holding the
// test key at PATH, and 404 elsewhere.
inline fault_peer::Answer answer(const fault_peer::Request& request)
{
  if (request.path() != PATH) {
    return fault_peer::Answer::notFound();
  }
  return fault_peer::Answer::json(
      std::string("{\"keys\":[{\"kty\":\"RSA\",\"alg\":\"RS256\",\"n\":\"") +
      test_keys::MODULUS + "\",\"e\":\"" + test_keys::EXPONENT + "\"}]}");
}

} // namespace iam_key_set {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_IAM_KEY_SET_HPP__
