#ifndef __COMMON_SENTREL_LOGIN_HPP__
#define __COMMON_SENTREL_LOGIN_HPP__

// Service-account login: a module signs a short-lived login token with its
// account's private key (JWT::generateRS256) and exchanges it at the IAM
// service for an IAM-issued token. No state: each call is one exchange,
// and the callers keep the token and decide when to log in again.

#include <string>

#include <process/future.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/path.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"

namespace mesos {
namespace sentrel {

// The "uid" and "private_key" of a service-account file; the credential's
// scheme and login endpoint are left unset for the caller to fill in.
Try<corvanta::Credential> getCredentialFromServiceAccountJson(const Path& path);

// POSTs the login token `jwt` for the credential's account (with `exp`,
// the expiry asked for the IAM token, when given) to the credential's login
// endpoint and yields the IAM-issued token. Fails on an unparsable
// endpoint (nothing is sent), a status other than "200 OK", a bad answer,
// or no answer within `timeout`.
process::Future<std::string> getSignedTokenFromSentrel(
    const corvanta::Credential& credential,
    const std::string& jwt,
    const Option<process::Time>& exp,
    const Duration& timeout);


// What a failed login's message begins with, per step: a step that fails
// reads "<words>: <failure>", one that is discarded "<words>" alone.
struct LoginFailureWords
{
  std::string generate;
  std::string exchange;
};


// Logs the credential's account in: signs a login token that expires
// `lifetime` from now on libprocess's clock, then exchanges it within
// `timeout`, asking for no particular expiry of the IAM token. Yields the
// IAM-issued token. Failures pass as the steps give them, or worded by
// `words` when given.
process::Future<std::string> serviceAccountLogin(
    const corvanta::Credential& credential,
    const Duration& lifetime,
    const Duration& timeout,
    const Option<LoginFailureWords>& words = None());

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_LOGIN_HPP__
