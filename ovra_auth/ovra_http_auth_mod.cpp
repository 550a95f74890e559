// Descriptors and factories of the HTTP authenticator and the authorizer.

#include <string>

#include <glog/logging.h>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/authorizer.hpp>
#include <mesos/module/http_authenticator.hpp>

#include <process/authenticator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "ovra_auth/authenticator.hpp"
#include "ovra_auth/authorizer.hpp"
#include "ovra_auth/authorizer_flags.hpp"

using mesos::Parameters;

using mesos::ovra::OVRAAuthorizer;
using mesos::ovra::OVRAAuthorizerFlags;
using mesos::ovra::OVRAHTTPAuthenticator;

using process::http::authentication::Authenticator;

namespace {

Authenticator* createOVRAHTTPAuthenticator(const Parameters& parameters)
{
  OVRAHTTPAuthenticator::Flags flags;

  Try<Nothing> load = corvanta::loadModuleFlags(&flags, parameters);
  if (load.isError()) {
    LOG(ERROR) << load.error();
    return nullptr;
  }

  // Loading has refused an absent or empty `host`; the names are exact.
  const std::string host = flags.host.getOrElse("");
  if (host != "agent" && host != "master") {
    LOG(ERROR) << "Invalid authenticator host parameter, expected 'agent' "
                  "or 'master', got " << host;
    return nullptr;
  }

  Try<Authenticator*> authenticator = OVRAHTTPAuthenticator::create(flags);
  if (authenticator.isError()) {
    LOG(ERROR) << "Failed to create OVRA HTTP authenticator: "
               << authenticator.error();
    return nullptr;
  }

  return authenticator.get();
}


mesos::Authorizer* createOVRAAuthorizer(const Parameters& parameters)
{
  OVRAAuthorizerFlags flags;

  Try<Nothing> load = corvanta::loadModuleFlags(&flags, parameters);
  if (load.isError()) {
    LOG(ERROR) << load.error();
    return nullptr;
  }

  Try<Nothing> validate = flags.validate();
  if (validate.isError()) {
    LOG(ERROR) << "Failed to validate parameters: " << validate.error();
    return nullptr;
  }

  Try<mesos::Authorizer*> authorizer = OVRAAuthorizer::create(flags);
  if (authorizer.isError()) {
    LOG(ERROR) << "Failed to create OVRA authorizer: " << authorizer.error();
    return nullptr;
  }

  return authorizer.get();
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
