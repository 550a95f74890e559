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
#include "ovra_classic_rpc_authn/authenticatee.hpp"
#include "ovra_classic_rpc_authn/authenticator.hpp"

using mesos::Parameters;

using corvanta::ovra::ClassicRPCAuthenticatee;
using corvanta::ovra::ClassicRPCAuthenticator;

namespace {

// The classic modules speak Mesos's own authentication messages, which every
// Mesos release that loads them understands.
bool compatible()
{
  return true;
}


// Default-constructs the module, then prepares it; on failure logs the
// error under the descriptor's name and returns null.
template <typename Module>
Module* createPrepared(const char* descriptor, const Parameters& parameters)
{
  Module* module = new Module();

  Try<Nothing> prepare = module->prepare(parameters);
  if (prepare.isError()) {
    LOG(ERROR) << "Error initializing module '" << descriptor
               << "': " << prepare.error();
    delete module;
    return nullptr;
  }

  return module;
}


mesos::Authenticatee* createOVRAClassicRPCAuthenticatee(
    const Parameters& parameters)
{
  return createPrepared<ClassicRPCAuthenticatee>(
      "com_corvanta_ovra_ClassicRPCAuthenticatee", parameters);
}


mesos::Authenticator* createOVRAClassicRPCAuthenticator(
    const Parameters& parameters)
{
  return createPrepared<ClassicRPCAuthenticator>(
      "com_corvanta_ovra_ClassicRPCAuthenticator", parameters);
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
