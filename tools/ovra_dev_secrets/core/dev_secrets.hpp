#ifndef __TOOLS_OVRA_DEV_SECRETS_CORE_DEV_SECRETS_HPP__
#define __TOOLS_OVRA_DEV_SECRETS_CORE_DEV_SECRETS_HPP__

// A development stand-in for the secret store, served by a libprocess actor
// named "secrets" on this process's HTTP server. It answers
//
//   GET /secrets/v1/secret/default/<name>   {"value": "<secret>"}
//   GET /secrets/v1/ping                    "pong"
//
// to requests carrying "Authorization: token=<jwt>" with a token that the
// IAM service signed and that has not expired: 401 without a valid token,
// 403 when the token's uid is not among the secret's readers, 404 for an
// unknown secret. Its state lives in that actor; the handle below starts it
// and stops it.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "tools/ovra_dev_secrets/core/secrets_file.hpp"

namespace dev_secrets {

// The path under which the store serves, as the `store_url` flag takes it.
constexpr char STORE_PATH[] = "/secrets/v1";

class DevSecretsProcess;

class DevSecrets
{
public:
  // Starts the store, checking tokens against `iamKey`, the IAM service's
  // public key; fails if one already runs in this process.
  static Try<process::Owned<DevSecrets>> start(
      const Secrets& secrets,
      const std::shared_ptr<RSA>& iamKey);

  ~DevSecrets();

  DevSecrets(const DevSecrets&) = delete;
  DevSecrets& operator=(const DevSecrets&) = delete;

  // "http://127.0.0.1:<port>/secrets/v1": the store's URL.
  process::http::URL url() const;

  // Makes every secret request be answered `response`, once its token is
  // accepted; None restores the normal answers.
  process::Future<Nothing> answer(
      const Option<process::http::Response>& response);

  // While held, secret requests are counted but left unanswered; release
  // answers those held and ends the hold.
  process::Future<Nothing> hold();
  process::Future<Nothing> release();

  // How many secret requests have arrived so far (pings not counted).
  process::Future<size_t> requests() const;

  // Ready once `count` secret requests have arrived.
  process::Future<Nothing> received(size_t count);

private:
  explicit DevSecrets(DevSecretsProcess* process);

  DevSecretsProcess* process_;
};

} // namespace dev_secrets {

#endif // __TOOLS_OVRA_DEV_SECRETS_CORE_DEV_SECRETS_HPP__
