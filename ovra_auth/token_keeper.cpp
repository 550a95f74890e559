#include "ovra_auth/token_keeper.hpp"

#include <algorithm>

#include <stout/error.hpp>

#include "common/sentrel/jwt.hpp"
#include "common/sentrel/time_limit.hpp"

using mesos::sentrel::JWT;

using process::Future;
using process::Time;

namespace mesos {
namespace ovra {

Duration TokenKeeper::obtained(const std::string& token, const Time& now)
{
  retry_ = LOGIN_RETRY_MIN;
  token_ = token;
  ready_.set(Nothing());
  return refreshDelay(getExpiration(token), now);
}


Duration TokenKeeper::failed()
{
  const Duration delay = retry_;
  retry_ = std::min(retry_ * 2, LOGIN_RETRY_MAX);
  return delay;
}


void TokenKeeper::open()
{
  ready_.set(Nothing());
}


void TokenKeeper::close(const std::string& failure)
{
  ready_.fail(failure);
}


Future<Nothing> TokenKeeper::ready() const
{
  const Future<Nothing> gate = ready_.future();
  if (!gate.isPending()) {
    return gate;
  }

  return sentrel::withTimeLimit(
      gate,
      TOKEN_WAIT_LIMIT,
      "Failed to obtain an IAM token for the service account: Timed out "
      "after ");
}


Result<Time> TokenKeeper::getExpiration(const std::string& token)
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


Duration TokenKeeper::refreshDelay(
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

} // namespace ovra {
} // namespace mesos {
