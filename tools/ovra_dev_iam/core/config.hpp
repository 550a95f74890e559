#ifndef __TOOLS_OVRA_DEV_IAM_CORE_CONFIG_HPP__
#define __TOOLS_OVRA_DEV_IAM_CORE_CONFIG_HPP__

// The configuration of the development IAM service, read from a JSON
// document of this form (every key optional):
//
//   {
//     "private_key": "<PEM>",          // the service's signing key; a new
//                                      // one is made when absent
//     "token_lifetime": "1hrs",        // lifetime of the tokens it issues
//     "require_authorization": false,  // permissions need a valid
//                                      // "Authorization: token=<jwt>"
//     "users": {"<uid>": <permissions document>},
//     "service_accounts": {"<uid>": {"public_key": "<PEM>"}}
//   }

#include <map>
#include <string>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/try.hpp>

#include "tools/ovra_dev_iam/core/keys.hpp"

namespace dev_iam {

// Each user's permissions document by uid, served as it is.
typedef std::map<std::string, JSON::Object> Users;


struct Config
{
  KeyPair key;

  // True when the configuration gave no key and a new one was made.
  bool generatedKey = false;

  Duration tokenLifetime = Hours(1);
  bool requireAuthorization = false;

  Users users;

  // Each service account's public key (PEM).
  std::map<std::string, std::string> serviceAccounts;
};

Try<Config> parseConfig(const std::string& json);

Try<Config> readConfig(const std::string& path);

// A JSON object of uid to permissions document, as the configuration's
// "users" holds it.
Try<Users> parseUsers(const JSON::Object& users);

Try<Users> readUsers(const std::string& path);

} // namespace dev_iam {

#endif // __TOOLS_OVRA_DEV_IAM_CORE_CONFIG_HPP__
