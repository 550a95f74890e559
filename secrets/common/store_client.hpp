#ifndef __SECRETS_COMMON_STORE_CLIENT_HPP__
#define __SECRETS_COMMON_STORE_CLIENT_HPP__

// The secret store client of the secrets modules: the service-account login
// in front of the store, the store's URLs, one GET per secret, and the time
// limit of a login-and-fetch chain. No state: each call is one exchange.

#include <stddef.h>

#include <memory>
#include <string>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"
#include "common/sentrel/time_limit.hpp"
#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

// Why a fetch or the flags check cannot run without the service account.
constexpr char MISSING_CREDENTIAL[] =
  "The flag 'service_account_credential' is required by the secrets "
  "modules";

// The lifetime of the login token the secrets modules sign.
constexpr Duration LOGIN_JWT_LIFETIME = Seconds(300);

// The flags' service account, or the error MISSING_CREDENTIAL.
Try<corvanta::Credential> serviceAccount(const Flags& flags);

// Logs the service account in, the exchange bounded by `network_timeout`;
// yields the IAM-issued token.
process::Future<std::string> storeLogin(
    const corvanta::Credential& credential,
    const Flags& flags);

// The failure of a login-and-fetch chain past its time limit: these words,
// then the limit.
constexpr char CHAIN_TIMED_OUT[] = "Failed to execute pong: Timed out after ";

// Runs `chain()` (a login and what follows it) bounded by
// `network_timeout` from now: past it the result fails with
// CHAIN_TIMED_OUT and the limit ("... Timed out after 5secs"); the work
// already started runs on and its outcome is dropped. The limit is set
// before the chain's first step starts, so that the steps' own limits, as
// long, come after it: a chain still pending at network_timeout always
// ends with the chain's failure, whichever step it waits on.
template <typename Chain>
auto withinChainLimit(const Flags& flags, Chain chain) -> decltype(chain())
{
  auto start = std::make_shared<process::Promise<Nothing>>();
  const auto limited = sentrel::withTimeLimit(
      start->future().then([chain](const Nothing&) { return chain(); }),
      flags.network_timeout,
      CHAIN_TIMED_OUT);
  start->set(Nothing());
  return limited;
}

// A copy of `store` whose path is path::join(its path, `path`).
process::http::URL storeUrl(
    const process::http::URL& store,
    const std::string& path);

// "secret/default/" followed by `name`, each '/'-separated component
// percent-encoded. REQUIRES: validateSecretName(name) is none.
std::string secretPath(const std::string& name);

// GETs `path` under `store` with "Authorization: token=<token>". Yields
// the body of a "200 OK" answer; fails with "Secret Store returned status:
// <status>" on any other, with "Failed to contact Secret Store: Timed
// out after <timeout>" when no answer has come within `timeout` (the
// request is then dropped), and with the bounded request's failure for a
// body over `bodyLimit` bytes.
process::Future<std::string> getFromStore(
    const process::http::URL& store,
    const Duration& timeout,
    const std::string& token,
    const std::string& path,
    size_t bodyLimit);

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_STORE_CLIENT_HPP__
