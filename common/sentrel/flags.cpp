#include "common/sentrel/flags.hpp"

#include <string>

#include "common/sentrel/excerpt.hpp"

#include <stout/error.hpp>
#include <stout/none.hpp>

namespace mesos {
namespace sentrel {

NetworkFlags::NetworkFlags()
{
  add(&NetworkFlags::network_timeout,
      "network_timeout",
      "How long each network call can take before the module aborts\n"
      "the operation.  This may result in rejected tasks if the\n"
      "target server is down or overloaded.",
      Seconds(5));
}


HostFlags::HostFlags()
{
  add(&HostFlags::host,
      "host",
      "Hosting process name ('master' or 'agent').",
      [](const Option<std::string>& value) -> Option<Error> {
        if (value.isNone() || value->empty()) {
          return Error("'host' is required");
        }
        return None();
      });
}


AnonymousUserFlags::AnonymousUserFlags()
{
  add(&AnonymousUserFlags::anonymous_principal,
      "anonymous_principal",
      "Principal used when authentication and authorization requests\n"
      "do not provide one. This behavior is enabled by setting this flag;\n"
      "if the flag is not set, requests which do not provide a principal\n"
      "are rejected.");
}


SentrelRemoteFlags::SentrelRemoteFlags()
{
  add(&SentrelRemoteFlags::iam,
      "iam",
      "OVRA IAM service address and port.",
      process::http::URL("http", DEFAULT_IAM_HOST, DEFAULT_IAM_PORT, "/"));
}


Flags::Flags()
{
  add(&Flags::service_account_credential,
      "service_account_credential",
      "Service account credential used to authenticate with Sentrel.");

  add(&Flags::jwt_exp_timeout,
      "jwt_exp_timeout",
      "Lifespan of JWT service account login token. This sets the 'exp'\n"
      "claim to identify the expiration time after which the login JWT\n"
      "MUST NOT be accepted for processing. This does not affect the\n"
      "lifespan of the auth token returned by Sentrel.",
      Minutes(5));
}

} // namespace sentrel {
} // namespace mesos {


namespace corvanta {

AuditLogFlags::AuditLogFlags()
{
  add(&AuditLogFlags::audit_log,
      "audit_log",
      "Disables OVRA audit logging output.",
      true);

  add(&AuditLogFlags::audit_format,
      "audit_format",
      None(), // The help text and the default would read as an alias.
      "The form of each audit record: 'logfmt', one line of key=value\n"
      "pairs, or 'json', one JSON object on one line with the same keys\n"
      "and values, keys in a fixed order.",
      std::string("logfmt"),
      [](const std::string& value) -> Option<Error> {
        if (value != "logfmt" && value != "json") {
          return Error(
              "'audit_format' must be 'logfmt' or 'json', not '" +
              mesos::sentrel::excerpt(value, 64) + "'");
        }
        return None();
      });
}

} // namespace corvanta {
