#include "ovra_auth/authorizer_process.hpp"

#include <algorithm>
#include <utility>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/defer.hpp>
#include <process/delay.hpp>
#include <process/dispatch.hpp>
#include <process/id.hpp>

#include <stout/error.hpp>
#include <stout/lambda.hpp>
#include <stout/none.hpp>
#include <stout/stringify.hpp>

#include "common/audit_flags.hpp"
#include "common/sentrel/bounded_request.hpp"
#include "common/sentrel/jwt.hpp"
#include "common/sentrel/login.hpp"
#include "common/sentrel/time_limit.hpp"
#include "ovra_auth/permissions_answer.hpp"

namespace authz = mesos::authorization;
namespace http = process::http;

using mesos::sentrel::JWT;

using process::Clock;
using process::Failure;
using process::Future;
using process::Owned;
using process::Promise;
using process::Time;

namespace mesos {
namespace ovra {

namespace {

constexpr char AUTHORIZATION_FAILED[] = "OVRA authorization failed";

constexpr char FETCH_TIMED_OUT[] =
  "Failed to contact sentrel: Timed out after ";


// The request's object as approvers take it, pointing into `request`.
Option<mesos::ObjectApprover::Object> objectOf(const authz::Request& request)
{
  if (request.has_object()) {
    return mesos::ObjectApprover::Object(request.object());
  }
  return None();
}

} // namespace {


OVRAAuthorizerProcess::OVRAAuthorizerProcess(
    const OVRAAuthorizer::Flags& flags,
    const Option<ResponseGetter>& get)
  : ProcessBase(process::ID::generate("ovra_authorizer")),
    flags_(flags),
    permissions_(flags.cache_size, flags.cache_timeout),
    logfmt_(corvanta::auditLog(flags))
{
  if (get.isSome()) {
    get_ = get.get();
  } else {
    // Called on the actor only, so it may read the current token.
    get_ = [this](const http::URL& url) { return defaultGet(url); };
  }
}


void OVRAAuthorizerProcess::initialize()
{
  approverContext_ = std::make_shared<const ApproverContext>(ApproverContext{
      ResourceMapping(
          flags_.prefix,
          flags_.host.getOrElse(""),
          flags_.ovra_space_label),
      corvanta::hostAuthorizer(flags_),
      self(),
      logfmt_,
      metrics_});

  getToken();
}


void OVRAAuthorizerProcess::finalize()
{
  // Nobody would complete these any more: fail them rather than leave
  // their waiters pending for ever.
  const std::string terminated = "OVRA authorizer terminated";

  token_.close(terminated);
  permissions_.failAll(terminated);
}


Future<bool> OVRAAuthorizerProcess::authorized(const authz::Request& request)
{
  return getObjectApprover(request.subject(), request.action())
    .then([request](const Owned<mesos::ObjectApprover>& approver)
              -> Future<bool> {
      const Try<bool> approved = approver->approved(objectOf(request));
      if (approved.isError()) {
        return Failure(approved.error());
      }

      return approved.get();
    })
    .onFailed(lambda::bind(&fail, AUTHORIZATION_FAILED, lambda::_1))
    .onDiscarded(lambda::bind(&fail, AUTHORIZATION_FAILED, "discarded"));
}


Future<Owned<mesos::ObjectApprover>> OVRAAuthorizerProcess::getObjectApprover(
    const Option<authz::Subject>& subject,
    const authz::Action& action)
{
  const Try<authz::Subject> used = principal(subject);
  if (used.isError()) {
    return Failure(used.error());
  }

  const std::shared_ptr<const ApproverContext> context = approverContext_;

  return permissionsOf(used.get())
    .then([context, used, action](const SharedPermissions& permissions) {
      return Owned<mesos::ObjectApprover>(new OVRAAuthorizerObjectApprover(
          context, permissions, used.get(), action));
    })
    .onFailed(lambda::bind(&fail, AUTHORIZATION_FAILED, lambda::_1))
    .onDiscarded(lambda::bind(&fail, AUTHORIZATION_FAILED, "discarded"))
    .onAny([failed = metrics_.failed](
               const Future<Owned<mesos::ObjectApprover>>& approver) mutable {
      if (!approver.isReady()) {
        ++failed;
      }
    });
}


Future<AuthorizationExplanation> OVRAAuthorizerProcess::explain(
    const authz::Request& request)
{
  const Try<authz::Subject> used = principal(request.subject());
  if (used.isError()) {
    return Failure(used.error());
  }

  const std::shared_ptr<const ApproverContext> context = approverContext_;

  return permissionsOf(used.get())
    .then([context, used, request](const SharedPermissions& permissions)
              -> Future<AuthorizationExplanation> {
      const OVRAAuthorizerObjectApprover approver(
          context, permissions, used.get(), request.action());

      const Try<AuthorizationExplanation> explanation =
        approver.explain(objectOf(request));
      if (explanation.isError()) {
        return Failure(explanation.error());
      }

      return explanation.get();
    });
}


Try<authz::Subject> OVRAAuthorizerProcess::principal(
    const Option<authz::Subject>& subject) const
{
  authz::Subject used;

  if (subject.isSome() && subject->has_value()) {
    used.set_value(subject->value());
  } else if (flags_.anonymous_principal.isSome()) {
    used.set_value(flags_.anonymous_principal.get());
  } else {
    return Error(
        "OVRA authorization currently mandates providing a subject for all "
        "requests");
  }

  return used;
}


Future<SharedPermissions> OVRAAuthorizerProcess::permissionsOf(
    const authz::Subject& used)
{
  return token_.ready().then(
      defer(self(), &Self::getPermissions, used.value()));
}


Future<SharedPermissions> OVRAAuthorizerProcess::getPermissions(
    const std::string& principal)
{
  const Option<SharedPermissions> cached =
    permissions_.fresh(principal, Clock::now());
  if (cached.isSome()) {
    ++metrics_.permission_cache_hits;
    return cached.get();
  }

  const Option<Future<SharedPermissions>> shared =
    permissions_.inFlight(principal);
  if (shared.isSome()) {
    LOG(INFO) << "Skipping permission fetch for principal '" << principal
              << "' as we have a pending one already";
    ++metrics_.coalesced_requests;
    return shared.get();
  }

  VLOG(1) << "Fetching ACL for principal '" << principal << "'";

  VLOG(2) << "IAM configuration: " << flags_.iam;
  const Try<http::URL> url = permissionsURL(flags_, principal);
  if (url.isError()) {
    return Failure(url.error());
  }

  VLOG(1) << "Hitting Sentrel at '" << url.get() << "'";

  const PermissionCache::Fetch fetch = permissions_.start(principal);

  ++metrics_.permission_fetches;
  metrics_.permission_fetch.time(fetch->future())
    .onFailed([failures = metrics_.permission_fetch_failures](
                  const std::string&) mutable { ++failures; });

  const Future<http::Response> response = get_(url.get());

  // The time limit fails the waiters and discards the request, so that no
  // late answer is read; should one arrive all the same, _getPermissions
  // drops it. It is set up first, so that an answer in time has cancelled
  // its timer before _getPermissions runs.
  const process::PID<OVRAAuthorizerProcess> pid = self();
  response.after(
      flags_.network_timeout,
      [pid, principal, fetch](const Future<http::Response>& pending) {
        process::dispatch(pid, &Self::fetchTimedOut, principal, fetch);
        Future<http::Response>(pending).discard();
        return pending;
      });

  response.onAny(
      defer(self(), &Self::_getPermissions, principal, fetch, lambda::_1));

  return fetch->future();
}


void OVRAAuthorizerProcess::fetchTimedOut(
    const std::string& principal,
    const PermissionCache::Fetch& fetch)
{
  // Only the fetch that timed out, not a later one for the principal.
  if (!permissions_.pending(principal, fetch)) {
    return;
  }

  permissions_.end(principal);
  fetch->fail(FETCH_TIMED_OUT + stringify(flags_.network_timeout));
}


void OVRAAuthorizerProcess::_getPermissions(
    const std::string& principal,
    const PermissionCache::Fetch& fetch,
    const Future<http::Response>& response)
{
  // A fetch that timed out may answer while a later one for the principal
  // is pending: its answer is stale and must not decide for the later one.
  if (!permissions_.pending(principal, fetch)) {
    VLOG(1) << "Skipping further processing for principal '" << principal
            << "' as the fetch had been canceled";
    return;
  }

  const Try<SharedPermissions> permissions =
    permissionsIn(principal, response);
  if (permissions.isError()) {
    permissions_.end(principal);
    fetch->fail(permissions.error());
    return;
  }

  permissions_.end(principal, permissions.get(), Clock::now());
  fetch->set(permissions.get());
}


void OVRAAuthorizerProcess::getToken()
{
  if (flags_.host != std::string("agent")) {
    token_.open();
    return;
  }

  // Validation requires the credential on agents; a module built around
  // it must still not stop the process.
  if (flags_.service_account_credential.isNone()) {
    const std::string failure =
      "'service_account_credential' is required on non master nodes.";
    fail("Sentrel authentication failed", failure);
    token_.close("Sentrel authentication failed: " + failure);
    return;
  }

  const corvanta::Credential credential =
    flags_.service_account_credential.get();

  VLOG(1) << "Requesting a token from " << credential.login_endpoint();

  sentrel::serviceAccountLogin(credential, LOGIN_JWT_LIFETIME, LOGIN_TIMEOUT)
    .onAny(defer(self(), &Self::_getToken, lambda::_1));
}


void OVRAAuthorizerProcess::_getToken(const Future<std::string>& token)
{
  if (!token.isReady()) {
    ++metrics_.login_failures;
    fail("Sentrel authentication failed",
         token.isFailed() ? token.failure() : "discarded");

    // The previous token, if any, stays in use meanwhile.
    const Duration retry = token_.failed();
    LOG(INFO) << "Retrying the service account login in " << retry;
    process::delay(retry, self(), &Self::getToken);
    return;
  }

  ++metrics_.logins;
  if (token_.token().isSome()) {
    ++metrics_.token_refreshes;
  }

  const Duration refresh = token_.obtained(token.get(), Clock::now());
  LOG(INFO) << "Obtained an IAM token for the service account; refreshing "
            << "it in " << refresh;
  process::delay(refresh, self(), &Self::getToken);
}


Future<http::Response> OVRAAuthorizerProcess::defaultGet(const http::URL& url)
{
  Option<http::Headers> headers;
  if (token_.token().isSome()) {
    headers =
      http::Headers({{"Authorization", "token=" + token_.token().get()}});
  }

  // The fetch's time limit discards the request, which closes its
  // connection.
  return sentrel::boundedGet(url, headers, sentrel::RequestLimits());
}


void OVRAAuthorizerProcess::fail(
    const std::string& message,
    const std::string& failure)
{
  LOG(ERROR) << message << ": " << failure;
}

} // namespace ovra {
} // namespace mesos {
