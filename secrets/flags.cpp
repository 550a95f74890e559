#include "secrets/flags.hpp"

#include <string>

#include <process/future.hpp>

#include "secrets/common/store_client.hpp"

using process::Future;

namespace mesos {
namespace secrets {

Flags::Flags()
{
  add(&Flags::store_url,
      "store_url",
      "URL where the Secrets Store API can be accessed.");

  add(&Flags::special_secret_protobuf_label,
      "special_secret_protobuf_label",
      "Name of the label containing the protobuf secrets\n"
      "object that tells the hook what to fetch.");

  add(&Flags::special_secret_space_label,
      "special_secret_space_label",
      "Name of the environment variable (inside a TaskInfo or ExecutorInfo)\n"
      "containing the \"space\" that the requested secret(s) reside in.\n"
      "This variable should be a pre-validated path-like string.");
}


Try<Nothing> Flags::validate() const
{
  Try<corvanta::Credential> credential = serviceAccount(*this);
  if (credential.isError()) {
    return Error(credential.error());
  }

  const Flags flags = *this;
  const corvanta::Credential account = credential.get();
  const Future<std::string> pong = withinChainLimit(flags, [flags, account]() {
    return storeLogin(account, flags).then([flags](const std::string& token) {
      return flags.talkToSecretStore(token, "ping");
    });
  });

  // The chain's own limit ends the wait.
  pong.await();

  if (pong.isReady()) {
    return Nothing();
  }

  if (pong.isFailed()) {
    return Error("Failed to talk to Secret Store: " + pong.failure());
  }

  return Error("Failed to talk to Secret Store");
}


Future<std::string> Flags::talkToSecretStore(
    const std::string& token,
    const std::string& path,
    size_t bodyLimit) const
{
  return getFromStore(store_url, network_timeout, token, path, bodyLimit);
}

} // namespace secrets {
} // namespace mesos {
