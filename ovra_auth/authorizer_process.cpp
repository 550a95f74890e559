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
#include "common/sentrel/excerpt.hpp"
#include "common/sentrel/jwt.hpp"
#include "common/sentrel/login.hpp"
#include "common/sentrel/time_limit.hpp"

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


// The request's object as approvers take it, pointing into `request`.
Option<mesos::ObjectApprover::Object> objectOf(const authz::Request& request)
{
  if (request.has_object()) {
    return mesos::ObjectApprover::Object(request.object());
  }
  return None();
}


// ASCII only, whatever the locale.
bool unreserved(unsigned char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
         c == '~';
}


// The characters that RFC 3986 allows unencoded in a path segment besides
// the unreserved ones.
bool segmentSafe(unsigned char c)
{
  return unreserved(c) || c == '!' || c == '$' || c == '&' || c == '\'' ||
         c == '(' || c == ')' || c == '*' || c == '+' || c == ',' ||
         c == ';' || c == '=' || c == ':' || c == '@';
}


// `value` as one path segment: "/", "?", "#", "%", blanks and other bytes
// that would end or change the segment are percent-encoded, and so are the
// dots that begin it, so that neither a dot-segment ("." or "..") nor a
// "/.." can appear. Ordinary names stay as they are.
std::string encodeSegment(const std::string& value)
{
  static const char HEX[] = "0123456789ABCDEF";

  std::string result;
  result.reserve(value.size());

  bool leading = true;
  for (const char c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    leading = leading && c == '.';

    if (segmentSafe(byte) && !leading) {
      result += c;
    } else {
      result += '%';
      result += HEX[byte >> 4];
      result += HEX[byte & 0x0F];
    }
  }

  return result;
}

} // namespace {


OVRAAuthorizerProcess::OVRAAuthorizerProcess(
    const OVRAAuthorizer::Flags& flags,
    const Option<ResponseGetter>& get)
  : ProcessBase(process::ID::generate("ovra_authorizer")),
    flags_(flags),
    cache_(flags.cache_size),
    logfmt_(corvanta::auditLog(flags)),
    loginRetry_(LOGIN_RETRY_MIN)
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

  tokenReady_.fail(terminated);

  for (auto& [principal, promise] : fetching_) {
    promise->fail(terminated);
  }
  fetching_.clear();
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
  return tokenReady().then(defer(self(), &Self::getPermissions, used.value()));
}


Future<SharedPermissions> OVRAAuthorizerProcess::getPermissions(
    const std::string& principal)
{
  const Option<CacheEntry> entry = cache_.get(principal);
  if (entry.isSome()) {
    if (Clock::now() - entry->creationTime <= flags_.cache_timeout) {
      VLOG(1) << "Using cached ACL for principal '" << principal << "'";
      ++metrics_.permission_cache_hits;
      return entry->permissions;
    }

    VLOG(1) << "Cached ACL for principal '" << principal << "' expired";
  }

  if (fetching_.contains(principal)) {
    LOG(INFO) << "Skipping permission fetch for principal '" << principal
              << "' as we have a pending one already";
    ++metrics_.coalesced_requests;
    return fetching_.at(principal)->future();
  }

  VLOG(1) << "Fetching ACL for principal '" << principal << "'";

  VLOG(2) << "IAM configuration: " << flags_.iam;
  const Try<http::URL> url = permissionsURL(flags_, principal);
  if (url.isError()) {
    return Failure(url.error());
  }

  VLOG(1) << "Hitting Sentrel at '" << url.get() << "'";

  Owned<Promise<SharedPermissions>> promise(new Promise<SharedPermissions>());
  fetching_.put(principal, promise);

  ++metrics_.permission_fetches;
  metrics_.permission_fetch.time(promise->future())
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
      [pid, principal, promise](const Future<http::Response>& pending) {
        process::dispatch(pid, &Self::fetchTimedOut, principal, promise);
        Future<http::Response>(pending).discard();
        return pending;
      });

  response.onAny(
      defer(self(), &Self::_getPermissions, principal, promise, lambda::_1));

  return promise->future();
}


bool OVRAAuthorizerProcess::pending(
    const std::string& principal,
    const Owned<Promise<SharedPermissions>>& promise) const
{
  const Option<Owned<Promise<SharedPermissions>>> current =
    fetching_.get(principal);
  return current.isSome() && current.get() == promise;
}


void OVRAAuthorizerProcess::fetchTimedOut(
    const std::string& principal,
    const Owned<Promise<SharedPermissions>>& promise)
{
  // Only the fetch that timed out, not a later one for the principal.
  if (!pending(principal, promise)) {
    return;
  }

  fetching_.erase(principal);
  promise->fail(
      "Failed to contact sentrel: Timed out after " +
      stringify(flags_.network_timeout));
}


void OVRAAuthorizerProcess::_getPermissions(
    const std::string& principal,
    const Owned<Promise<SharedPermissions>>& promise,
    const Future<http::Response>& response)
{
  // A fetch that timed out may answer while a later one for the principal
  // is pending: its answer is stale and must not decide for the later one.
  if (!pending(principal, promise)) {
    VLOG(1) << "Skipping further processing for principal '" << principal
            << "' as the fetch had been canceled";
    return;
  }

  fetching_.erase(principal);

  if (response.isDiscarded()) {
    promise->fail("Request discarded");
    return;
  }

  if (response.isFailed()) {
    promise->fail("HTTP get from OVRA IAM failed: " + response.failure());
    return;
  }

  if (response->code != http::Status::OK) {
    LOG(ERROR) << "HTTP status code: " << response->code;
    for (const auto& [name, value] : response->headers) {
      LOG(ERROR) << "HTTP header: " << name << ": " << value;
    }
    LOG(ERROR) << "HTTP body:\n" << sentrel::excerpt(response->body);

    promise->fail(
        "HTTP status code not OK (200) but " + stringify(response->code));
    return;
  }

  VLOG(2) << "Principal '" << principal << "' has permissions '"
          << sentrel::excerpt(response->body) << "'";

  Try<Permissions> permissions = parsePermissions(response->body);
  if (permissions.isError()) {
    promise->fail(permissions.error());
    return;
  }

  const SharedPermissions shared =
    std::make_shared<const PermissionIndex>(std::move(permissions.get()));

  // A cache of size 0 is caching switched off: every request fetches, and
  // only concurrent requests share a fetch.
  if (flags_.cache_size > 0) {
    VLOG(1) << "Caching ACL for principal '" << principal << "'";
    cache_.put(principal, CacheEntry{shared, Clock::now()});
  }

  promise->set(shared);
}


void OVRAAuthorizerProcess::getToken()
{
  if (flags_.host != std::string("agent")) {
    tokenReady_.set(Nothing());
    return;
  }

  // Validation requires the credential on agents; a module built around
  // it must still not stop the process.
  if (flags_.service_account_credential.isNone()) {
    const std::string failure =
      "'service_account_credential' is required on non master nodes.";
    fail("Sentrel authentication failed", failure);
    tokenReady_.fail("Sentrel authentication failed: " + failure);
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
    LOG(INFO) << "Retrying the service account login in " << loginRetry_;
    process::delay(loginRetry_, self(), &Self::getToken);
    loginRetry_ = std::min(loginRetry_ * 2, LOGIN_RETRY_MAX);
    return;
  }

  ++metrics_.logins;
  if (token_.isSome()) {
    ++metrics_.token_refreshes;
  }
  loginRetry_ = LOGIN_RETRY_MIN;
  token_ = token.get();
  tokenReady_.set(Nothing());

  const Duration refresh =
    refreshDelay(getExpiration(token.get()), Clock::now());
  LOG(INFO) << "Obtained an IAM token for the service account; refreshing "
            << "it in " << refresh;
  process::delay(refresh, self(), &Self::getToken);
}


Future<Nothing> OVRAAuthorizerProcess::tokenReady()
{
  const Future<Nothing> gate = tokenReady_.future();
  if (!gate.isPending()) {
    return gate;
  }

  return sentrel::withTimeLimit(
      gate,
      TOKEN_WAIT_LIMIT,
      "Failed to obtain an IAM token for the service account: Timed out "
      "after ");
}


Future<http::Response> OVRAAuthorizerProcess::defaultGet(const http::URL& url)
{
  Option<http::Headers> headers;
  if (token_.isSome()) {
    headers = http::Headers({{"Authorization", "token=" + token_.get()}});
  }

  // The actor's own time limit discards the request, which closes its
  // connection.
  return sentrel::boundedGet(url, headers, sentrel::RequestLimits());
}


Result<Time> OVRAAuthorizerProcess::getExpiration(const std::string& token)
{
  const Try<JWT> jwt = JWT::parse(token);
  if (jwt.isError()) {
    return Error("Failed to parse JWT token: " + jwt.error());
  }

  if (jwt->payload.exp.isNone()) {
    return None();
  }

  // The claim is read on libprocess's clock, as the token's own expiry
  // check reads it.
  const Try<Duration> exp =
    Duration::create(static_cast<double>(jwt->payload.exp.get()));
  if (exp.isError()) {
    return Error(exp.error());
  }

  return Time::epoch() + exp.get();
}


Duration OVRAAuthorizerProcess::refreshDelay(
    const Result<Time>& expiration,
    const Time& now)
{
  Duration delay = TOKEN_DEFAULT_LIFETIME;
  if (expiration.isSome() && expiration.get() >= now) {
    delay = expiration.get() - now;
  }

  if (delay >= TOKEN_REFRESH_MARGIN) {
    delay -= TOKEN_REFRESH_MARGIN;
  }

  return delay;
}


Try<http::URL> OVRAAuthorizerProcess::permissionsURL(
    const OVRAAuthorizer::Flags& flags,
    const std::string& principal)
{
  // An empty segment would leave ".../users//permissions", which servers
  // may read as another resource.
  if (principal.empty()) {
    return Error("Cannot fetch the permissions of an empty principal");
  }

  http::URL url = flags.iam;
  url.query["format"] = "json";
  url.path += flags.users + "/" + encodeSegment(principal) + "/" +
              flags.permissions;

  return url;
}


void OVRAAuthorizerProcess::fail(
    const std::string& message,
    const std::string& failure)
{
  LOG(ERROR) << message << ": " << failure;
}

} // namespace ovra {
} // namespace mesos {
