#ifndef __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__
#define __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__

// The authorizer's actor. It owns all of the module's mutable state: the
// IAM token (agents only) and the gate that opens once it is known, the
// LRU cache of flattened permissions per principal, and the pending fetch
// per principal that concurrent requests share. Everything below runs on
// the actor; the continuations of remote calls are deferred back to it.

#include <memory>
#include <string>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>
#include <process/time.hpp>

#include <stout/cache.hpp>
#include <stout/duration.hpp>
#include <stout/hashmap.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/authorization_explainer.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/object_approver.hpp"
#include "ovra_auth/permissions.hpp"

namespace mesos {
namespace ovra {

// Lifetime of the login token the service account signs.
constexpr Duration LOGIN_JWT_LIFETIME = Minutes(5);

// Time limit of one login exchange.
constexpr Duration LOGIN_TIMEOUT = Seconds(10);

// Refresh delay for a token whose expiry is unknown or past (less the
// margin), and how long before its expiry a token is refreshed.
constexpr Duration TOKEN_DEFAULT_LIFETIME = Hours(72);
constexpr Duration TOKEN_REFRESH_MARGIN = Minutes(30);

// A failed login is tried again after the first delay, doubled at each
// further failure up to the second.
constexpr Duration LOGIN_RETRY_MIN = Seconds(1);
constexpr Duration LOGIN_RETRY_MAX = Minutes(1);

// How long a request waits for the first token of an agent before it
// fails: long enough for a few login attempts.
constexpr Duration TOKEN_WAIT_LIMIT = Seconds(30);


class OVRAAuthorizerProcess : public process::Process<OVRAAuthorizerProcess>
{
public:
  struct CacheEntry
  {
    SharedPermissions permissions;

    // When the response was processed, on libprocess's clock.
    process::Time creationTime;
  };

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

  // The "exp" claim of `token` as a time on libprocess's clock; none
  // without the claim; an error for a token that does not parse.
  static Result<process::Time> getExpiration(const std::string& token);

  // When to log in again with a token of this expiry: 30 minutes before
  // it, or at it when it is nearer than that; 71 hours 30 minutes when the
  // expiry is unknown or past.
  static Duration refreshDelay(
      const Result<process::Time>& expiration,
      const process::Time& now);

  // The permissions document's URL: the `iam` URL with "format=json" and
  // the path extended by `users`, "/", the principal as one
  // percent-encoded segment, "/" and `permissions`.
  static Try<process::http::URL> permissionsURL(
      const OVRAAuthorizer::Flags& flags,
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

  // The gate, bounded by TOKEN_WAIT_LIMIT while it is still closed.
  process::Future<Nothing> tokenReady();

  process::Future<process::http::Response> defaultGet(
      const process::http::URL& url);

  void _getPermissions(
      const std::string& principal,
      const process::Owned<process::Promise<SharedPermissions>>& promise,
      const process::Future<process::http::Response>& response);

  // Whether `promise` is the fetch in flight for `principal`.
  bool pending(
      const std::string& principal,
      const process::Owned<process::Promise<SharedPermissions>>& promise)
    const;

  void fetchTimedOut(
      const std::string& principal,
      const process::Owned<process::Promise<SharedPermissions>>& promise);

  const OVRAAuthorizer::Flags flags_;
  ResponseGetter get_;
  Option<std::string> token_;
  Cache<std::string, CacheEntry> cache_;
  hashmap<std::string, process::Owned<process::Promise<SharedPermissions>>>
    fetching_;
  process::Promise<Nothing> tokenReady_;
  const corvanta::LogFmt logfmt_;

  // The delay before the next login attempt after a failure.
  Duration loginRetry_;

  AuthorizerMetrics metrics_;

  // Made when the actor starts, once its address is known.
  std::shared_ptr<const ApproverContext> approverContext_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_AUTHORIZER_PROCESS_HPP__
