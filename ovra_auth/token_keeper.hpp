#ifndef __OVRA_AUTH_TOKEN_KEEPER_HPP__
#define __OVRA_AUTH_TOKEN_KEEPER_HPP__

// An agent's IAM token for its service account: the token its permission
// requests present, the gate that requests wait at until the first token
// is in, and when to log in again, after a login or a failed one. Plain
// state of the authorizer's actor, used from there only; the actor logs in
// and schedules the next login.

#include <string>

#include <process/future.hpp>
#include <process/time.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>

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


class TokenKeeper
{
public:
  TokenKeeper() : retry_(LOGIN_RETRY_MIN) {}

  TokenKeeper(const TokenKeeper&) = delete;
  TokenKeeper& operator=(const TokenKeeper&) = delete;

  // The latest token, none before the first login.
  const Option<std::string>& token() const { return token_; }

  // Takes a new token and opens the gate; returns the delay until the next
  // login.
  Duration obtained(const std::string& token, const process::Time& now);

  // After a failed login, whose previous token stays in use: the delay
  // until the next attempt.
  Duration failed();

  // Opens the gate without a token (masters present none), or fails it:
  // requests then fail at once with `failure`.
  void open();
  void close(const std::string& failure);

  // The gate, bounded by TOKEN_WAIT_LIMIT while it is still closed.
  process::Future<Nothing> ready() const;

  // The "exp" claim of `token` as a time on libprocess's clock; none
  // without the claim; an error for a token that does not parse.
  static Result<process::Time> getExpiration(const std::string& token);

  // When to log in again with a token of this expiry: 30 minutes before
  // it, or at it when it is nearer than that; 71 hours 30 minutes when the
  // expiry is unknown or past.
  static Duration refreshDelay(
      const Result<process::Time>& expiration,
      const process::Time& now);

private:
  Option<std::string> token_;
  process::Promise<Nothing> ready_;

  // The delay before the next login attempt after a failure.
  Duration retry_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_TOKEN_KEEPER_HPP__
