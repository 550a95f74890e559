// Descriptors and factories of the classic RPC authenticatee and
// authenticator.

#include <glog/logging.h>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/authenticatee.hpp>
#include <mesos/module/authenticator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/sentrel/flags.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"

using mesos::Parameters;

namespace {

// The classic modules speak Mesos's own authentication messages, which every
// Mesos release that loads them understands.
bool compatible()
{
  return true;
}


mesos::Authenticatee* createOVRAClassicRPCAuthenticatee(
    const Parameters& parameters)
{
  mesos::sentrel::Flags flags;

  Try<Nothing> load = corvanta::loadModuleFlags(&flags, parameters);
  if (load.isError()) {
    LOG(ERROR) << "Error initializing module "
               << "'com_corvanta_ovra_ClassicRPCAuthenticatee': "
               << load.error();
    return nullptr;
  }

  corvanta::logModuleNotAvailable("com_corvanta_ovra_ClassicRPCAuthenticatee");
  return nullptr;
}


mesos::Authenticator* createOVRAClassicRPCAuthenticator(
    const Parameters& parameters)
{
  corvanta::ovra::AuthenticatorFlags flags;

  // Unknown parameters are ignored: the authenticator shares its
  // configuration with the authenticatee.
  Try<Nothing> load =
    corvanta::loadModuleFlags(&flags, parameters, /*unknowns=*/true);
  if (load.isError()) {
    LOG(ERROR) << "Error initializing module "
               << "'com_corvanta_ovra_ClassicRPCAuthenticator': "
               << load.error();
    return nullptr;
  }

  corvanta::logModuleNotAvailable("com_corvanta_ovra_ClassicRPCAuthenticator");
  return nullptr;
}

} // namespace {


mesos::modules::Module<mesos::Authenticatee>
com_corvanta_ovra_ClassicRPCAuthenticatee(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::CLASSIC_RPC_MODULE_AUTHOR_EMAIL,
    "Classic RPC-style authenticatee module, backed by OVRA IAM.",
    compatible,
    createOVRAClassicRPCAuthenticatee);


mesos::modules::Module<mesos::Authenticator>
com_corvanta_ovra_ClassicRPCAuthenticator(
    MESOS_MODULE_API_VERSION,
    MESOS_VERSION,
    corvanta::MODULE_AUTHOR_NAME,
    corvanta::CLASSIC_RPC_MODULE_AUTHOR_EMAIL,
    "Classic RPC-style mesos authenticator module, backed by OVRA IAM.",
    compatible,
    createOVRAClassicRPCAuthenticator);
