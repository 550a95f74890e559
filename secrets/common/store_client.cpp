#include "secrets/common/store_client.hpp"

#include <string>
#include <vector>

#include <stout/path.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/bounded_request.hpp"
#include "common/sentrel/login.hpp"

using process::Future;
using process::Failure;

using process::http::Headers;
using process::http::Response;
using process::http::URL;

namespace mesos {
namespace secrets {

Try<corvanta::Credential> serviceAccount(const Flags& flags)
{
  if (flags.service_account_credential.isNone()) {
    return Error(MISSING_CREDENTIAL);
  }
  return flags.service_account_credential.get();
}


Future<std::string> storeLogin(
    const corvanta::Credential& credential,
    const Flags& flags)
{
  return sentrel::serviceAccountLogin(
      credential, LOGIN_JWT_LIFETIME, flags.network_timeout);
}


URL storeUrl(const URL& store, const std::string& path)
{
  URL url = store;
  url.path = path::join(store.path, path);
  return url;
}


std::string secretPath(const std::string& name)
{
  std::vector<std::string> components = strings::split(name, "/");
  for (std::string& component : components) {
    component = process::http::encode(component);
  }
  return path::join("secret/default", strings::join("/", components));
}


Future<std::string> getFromStore(
    const URL& store,
    const Duration& timeout,
    const std::string& token,
    const std::string& path,
    size_t bodyLimit)
{
  const Future<Response> response = sentrel::boundedGet(
      storeUrl(store, path),
      Headers({{"Authorization", "token=" + token}}),
      sentrel::RequestLimits{
          timeout,
          "Failed to contact Secret Store: Timed out after ",
          bodyLimit});

  return response.then([](const Response& response) -> Future<std::string> {
    if (response.status != "200 OK") {
      return Failure("Secret Store returned status: " + response.status);
    }
    return response.body;
  });
}

} // namespace secrets {
} // namespace mesos {
