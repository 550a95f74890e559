#ifndef __OVRA_AUTH_AUTHORIZATION_EXPLAINER_HPP__
#define __OVRA_AUTH_AUTHORIZATION_EXPLAINER_HPP__

// What the authorizer offers beyond Mesos's interface: an authorization
// question answered together with its reasons, for operators who want to
// know why a principal is allowed or denied. The authorizer module
// implements it beside mesos::Authorizer, so a host finds it with a
// dynamic_cast from the Authorizer it loaded. The header holds only an
// interface and plain data, so that a host needs nothing of the library
// to use it.

#include <string>
#include <vector>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>

#include <stout/option.hpp>

namespace mesos {
namespace ovra {

struct AuthorizationExplanation
{
  // One resource id the principal must hold, with the action it must hold
  // on it ("read", "create | read", ...), and the first permission of the
  // principal that grants it, if any.
  struct Requirement
  {
    std::string resourceId;
    std::string action;

    struct Grant
    {
      std::string resourceId;
      std::string actions;
    };

    Option<Grant> grantedBy;
  };

  // The principal whose permissions decided: the subject's value, or the
  // anonymous principal.
  std::string principal;

  // Allowed when there is at least one requirement and every one of them
  // is granted, exactly as the authorizer decides.
  bool allowed = false;

  // Every requirement in order, each examined even after one that is not
  // granted, so that the answer names everything missing.
  std::vector<Requirement> required;
};


class AuthorizationExplainer
{
public:
  virtual ~AuthorizationExplainer() {}

  // Decides `request` as `authorized` would, from the same permissions,
  // and fails where it would fail. Writes no audit record: the answer is
  // for the operator who asked, not a decision that the cluster acts on.
  virtual process::Future<AuthorizationExplanation> explain(
      const mesos::authorization::Request& request) = 0;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZATION_EXPLAINER_HPP__
