#ifndef __TOOLS_OVRA_DEV_SECRETS_CORE_SECRETS_FILE_HPP__
#define __TOOLS_OVRA_DEV_SECRETS_CORE_SECRETS_FILE_HPP__

// The secrets of the development secret store, read from a JSON object of
// secret name to secret. A secret is either its value, readable by every
// account the IAM service vouches for, or an object naming its readers:
//
//   {
//     "team1/app/dburl": "postgres://db:5432/app",
//     "team1/app/key": {"value": "k3y", "readers": ["svc-agent"]}
//   }

#include <map>
#include <set>
#include <string>

#include <stout/option.hpp>
#include <stout/try.hpp>

namespace dev_secrets {

struct Secret
{
  std::string value;

  // The uids that may read the secret; none lets every account read it.
  Option<std::set<std::string>> readers;
};

typedef std::map<std::string, Secret> Secrets;

Try<Secrets> parseSecrets(const std::string& json);

Try<Secrets> readSecrets(const std::string& path);

} // namespace dev_secrets {

#endif // __TOOLS_OVRA_DEV_SECRETS_CORE_SECRETS_FILE_HPP__
