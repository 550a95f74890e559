#ifndef __SECRETS_FLAGS_HPP__
#define __SECRETS_FLAGS_HPP__

// Flags of the secrets hook and isolator, with the two operations on them
// that need nothing else: the check that the store is reachable, and one
// request to the store. Filled once by the factory, never changed after.

#include <stddef.h>

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/sentrel/flags.hpp"
#include "secrets/common/limits.hpp"

namespace mesos {
namespace secrets {

class Flags : public sentrel::Flags, public corvanta::AuditLogFlags
{
public:
  Flags();

  // Logs the service account in and pings the store, the whole bounded by
  // `network_timeout`; blocks the calling thread until it knows. An error
  // reads "Failed to talk to Secret Store: <failure>", or names the
  // missing service account.
  Try<Nothing> validate() const;

  // One GET of `path` under `store_url` with the IAM-issued `token`: the
  // body of a "200 OK" answer, read up to `bodyLimit` bytes, else a
  // failure (see getFromStore).
  process::Future<std::string> talkToSecretStore(
      const std::string& token,
      const std::string& path,
      size_t bodyLimit = MAX_SECRET_ANSWER) const;

  process::http::URL store_url;
  std::string special_secret_protobuf_label;
  std::string special_secret_space_label;
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_FLAGS_HPP__
