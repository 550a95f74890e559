// Descriptors and factories of the HTTP authenticator and the authorizer.

#include <string>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/authorizer.hpp>
#include <mesos/module/http_authenticator.hpp>

#include <process/authenticator.hpp>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
#include "ovra_auth/authenticator.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/authorizer_flags.hpp"

using mesos::Parameters;

using mesos::ovra::OVRAAuthorizer;
using mesos::ovra::OVRAAuthorizerFlags;
using mesos::ovra::OVRAHTTPAuthenticator;

using process::http::authentication::Authenticator;

namespace {

// The host names the role exactly; loading has refused an absent or empty
// one.
Try<Nothing> checkHost(const OVRAHTTPAuthenticator::Flags& flags)
{
  const std::string host = flags.host.getOrElse("");
  if (host != "agent" && host != "master") {
    return Error(
        "Invalid authenticator host parameter, expected 'agent' or "
        "'master', got " + host);
  }
  return Nothing();
}


Authenticator* createOVRAHTTPAuthenticator(const Parameters& parameters)
{
  OVRAHTTPAuthenticator::Flags flags;
  return corvanta::createModule<Authenticator>(
      corvanta::HTTP_AUTHENTICATOR_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      [&] { return checkHost(flags); },
      [&] { return OVRAHTTPAuthenticator::create(flags); });
}


mesos::Authorizer* createOVRAAuthorizer(const Parameters& parameters)
{
  OVRAAuthorizerFlags flags;
  return corvanta::createModule<mesos::Authorizer>(
      corvanta::AUTHORIZER_POLICY,
      [&] { return corvanta::loadModuleFlags(&flags, parameters); },
      [&] { return flags.validate(); },
      [&] { return OVRAAuthorizer::create(flags); });
}

} // namespace {


mesos::modules::Module<Authenticator> com_corvanta_ovra_http_Authenticator(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "OVRA HTTP authenticator module.",
    nullptr,
    createOVRAHTTPAuthenticator);


mesos::modules::Module<mesos::Authorizer> com_corvanta_ovra_Authorizer(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::MODULE_AUTHOR_EMAIL,
    "OVRA authorizer module.",
    nullptr,
    createOVRAAuthorizer);
