#ifndef __OVRA_AUTH_AUTHORIZER_HPP__
#define __OVRA_AUTH_AUTHORIZER_HPP__

// The authorizer module: Mesos's Authorizer backed by the IAM service. Every
// call is dispatched to the module's actor (OVRAAuthorizerProcess), which
// holds the permission cache and the IAM token.

#include <functional>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "ovra_auth/authorization_explainer.hpp"
#include "ovra_auth/authorizer_flags.hpp"

namespace mesos {
namespace ovra {

// Performs the HTTP GET of a permissions document. The default one adds
// the agent's IAM token; tests inject their own.
typedef std::function<
    process::Future<process::http::Response>(const process::http::URL&)>
  ResponseGetter;

class OVRAAuthorizerProcess;


class OVRAAuthorizer : public mesos::Authorizer, public AuthorizationExplainer
{
public:
  typedef OVRAAuthorizerFlags Flags;

  // Never fails; the flags are expected to have passed Flags::validate().
  static Try<mesos::Authorizer*> create(const Flags& flags);

  // Spawns the actor, which starts the service-account login on agents.
  // Without `get` permissions are fetched with libprocess's HTTP client.
  explicit OVRAAuthorizer(
      const Flags& flags,
      const Option<ResponseGetter>& get = None());

  // Terminates the actor and waits for it; requests still waiting fail.
  ~OVRAAuthorizer() override;

  OVRAAuthorizer(const OVRAAuthorizer&) = delete;
  OVRAAuthorizer& operator=(const OVRAAuthorizer&) = delete;

  process::Future<bool> authorized(
      const mesos::authorization::Request& request) override;

  process::Future<process::Owned<mesos::ObjectApprover>> getObjectApprover(
      const Option<mesos::authorization::Subject>& subject,
      const mesos::authorization::Action& action) override;

  process::Future<AuthorizationExplanation> explain(
      const mesos::authorization::Request& request) override;

private:
  process::Owned<OVRAAuthorizerProcess> process_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZER_HPP__
