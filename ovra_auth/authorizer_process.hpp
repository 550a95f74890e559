#ifndef __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__
#define __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__

// The authorizer's actor. It owns all of the module's mutable state: the
// IAM token (agents only) and the gate that opens once it is known
// (TokenKeeper), and the permissions per principal, cached and in flight
// (PermissionCache). It logs in and fetches; everything below runs on the
// actor, and the continuations of remote calls are deferred back to it.

#include <memory>
#include <string>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/authorization_explainer.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/object_approver.hpp"
#include "ovra_auth/permission_cache.hpp"
#include "ovra_auth/permissions.hpp"
#include "ovra_auth/permissions_url.hpp"
#include "ovra_auth/token_keeper.hpp"

namespace mesos {
namespace ovra {

class OVRAAuthorizerProcess : public process::Process<OVRAAuthorizerProcess>
{
public:
  OVRAAuthorizerProcess(
      const OVRAAuthorizer::Flags& flags,
      const Option<ResponseGetter>& get);

  process::Future<bool> authorized(
      const mesos::authorization::Request& request);

  // An approver for the subject's value (else the anonymous principal)
  // holding the principal's permissions. Fails without a principal, when
  // the agent has no IAM token in time, or when the fetch fails.
  process::Future<process::Owned<mesos::ObjectApprover>> getObjectApprover(
      const Option<mesos::authorization::Subject>& subject,
      const mesos::authorization::Action& action);

  // The explanation of `request` by an approver made as for `authorized`.
  process::Future<AuthorizationExplanation> explain(
      const mesos::authorization::Request& request);

  // The principal's flattened permissions: from the cache while the entry
  // is at most `cache_timeout` old, else from the fetch in flight for the
  // principal, else from a new fetch. Failures are never cached.
  process::Future<SharedPermissions> getPermissions(
      const std::string& principal);

  // Logs `message`, ": " and `failure` at ERROR.
  static void fail(const std::string& message, const std::string& failure);

protected:
  void initialize() override;
  void finalize() override;

private:
  // A subject holding only the principal whose permissions decide: the
  // subject's value, else the anonymous principal; an error without
  // either.
  Try<mesos::authorization::Subject> principal(
      const Option<mesos::authorization::Subject>& subject) const;

  // The permissions of the subject's principal, once the gate is open.
  process::Future<SharedPermissions> permissionsOf(
      const mesos::authorization::Subject& used);

  // Logs in to the IAM service on agents (opens the gate elsewhere), and
  // schedules the next login: the refresh, or a retry after a failure.
  void getToken();
  void _getToken(const process::Future<std::string>& token);

  process::Future<process::http::Response> defaultGet(
      const process::http::URL& url);

  // Ends `fetch` with the permissions in `response`, or its failure.
  void _getPermissions(
      const std::string& principal,
      const PermissionCache::Fetch& fetch,
      const process::Future<process::http::Response>& response);

  void fetchTimedOut(
      const std::string& principal,
      const PermissionCache::Fetch& fetch);

  const OVRAAuthorizer::Flags flags_;
  ResponseGetter get_;
  TokenKeeper token_;
  PermissionCache permissions_;
  const corvanta::LogFmt logfmt_;

  AuthorizerMetrics metrics_;

  // Made when the actor starts, once its address is known.
  std::shared_ptr<const ApproverContext> approverContext_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__
