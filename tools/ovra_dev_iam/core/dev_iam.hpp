#ifndef __TOOLS_OVRA_DEV_IAM_CORE_DEV_IAM_HPP__
#define __TOOLS_OVRA_DEV_IAM_CORE_DEV_IAM_HPP__

// A development stand-in for the IAM service: the public key set, the
// service-account login and the user permissions, served by a libprocess
// actor named "acs" on this process's HTTP server. Its state lives in that
// actor; the handle below starts it and stops it.

#include <memory>
#include <string>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>
#include <process/time.hpp>

#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"
#include "tools/ovra_dev_iam/core/config.hpp"
#include "tools/ovra_dev_iam/core/keys.hpp"

namespace dev_iam {

enum class Endpoint { JWKS, LOGIN, PERMISSIONS };

// The request paths: "<USERS_PATH>/<uid>/permissions" for permissions,
// which is also accepted with a second leading slash.
constexpr char JWKS_PATH[] = "/acs/api/v1/auth/jwks";
constexpr char LOGIN_PATH[] = "/acs/api/v1/auth/login";
constexpr char USERS_PATH[] = "/acs/api/v1/users";

class DevIAMProcess;

class DevIAM
{
public:
  // Starts the service; fails if one already runs in this process.
  static Try<process::Owned<DevIAM>> start(const Config& config);

  ~DevIAM();

  DevIAM(const DevIAM&) = delete;
  DevIAM& operator=(const DevIAM&) = delete;

  // "http://127.0.0.1:<port>/": the base URL, as the `iam` flag takes it.
  process::http::URL url() const;

  process::http::URL jwksUrl() const;

  // The full URL of the login endpoint, as a credential names it.
  std::string loginEndpoint() const;

  // A token for `uid` signed with the service's key, valid for the
  // configured token lifetime.
  process::Future<std::string> issueToken(const std::string& uid) const;

  // Makes `endpoint` answer `response` to every request from now on; None
  // restores the normal answers. Lets clients meet a failing service.
  process::Future<Nothing> answer(
      Endpoint endpoint,
      const Option<process::http::Response>& response);

  // How many requests `endpoint` has had so far.
  process::Future<size_t> requests(Endpoint endpoint) const;

private:
  DevIAM(const Config& config, DevIAMProcess* process);

  const Config config_;
  DevIAMProcess* process_;
};


// A service account's credential in the form the modules take it: RS256,
// its uid and private key, and the login endpoint when one is given.
corvanta::Credential rs256Credential(
    const std::string& uid,
    const std::string& privateKey,
    const Option<std::string>& loginEndpoint = None());


// An RS256 token carrying "uid" and "exp", signed with `key`: the form of
// the tokens the IAM service issues.
process::Future<std::string> issueToken(
    const KeyPair& key,
    const std::string& uid,
    const process::Time& exp);

} // namespace dev_iam {

#endif // __TOOLS_OVRA_DEV_IAM_CORE_DEV_IAM_HPP__
