#include "tools/ovra_host/host_process.hpp"

#include <stout/json.hpp>
#include <stout/stringify.hpp>

using process::Future;

using process::http::OK;
using process::http::Request;
using process::http::Response;

namespace ovra_host {

HostProcess::HostProcess(const std::string& role, const std::string& realm)
  : ProcessBase(role), role_(role), realm_(realm) {}


void HostProcess::initialize()
{
  route("/state", realm_, None(), &HostProcess::authenticated);
  route("/flags", realm_, None(), &HostProcess::authenticated);

  route("/health", None(), [](const Request&) -> Future<Response> {
    return OK(std::string("{\"healthy\":true}"), "application/json");
  });
}


Future<Response> HostProcess::authenticated(
    const Request& request,
    const Option<std::string>& principal)
{
  JSON::Object body;
  body.values["role"] = role_;
  body.values["path"] = request.url.path;
  if (principal.isSome()) {
    body.values["principal"] = principal.get();
  }

  return OK(stringify(body), "application/json");
}

} // namespace ovra_host {
