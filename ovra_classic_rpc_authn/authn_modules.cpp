// Descriptors and factories of the classic RPC authenticatee and
// authenticator.

#include <memory>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>
#include <mesos/module/authenticatee.hpp>
#include <mesos/module/authenticator.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/module_factory.hpp"
#include "common/module_policies.hpp"
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


// Default-constructs the module, then prepares it: preparing is the load
// step of its creation.
template <typename Module>
Module* createPrepared(
    const corvanta::ModulePolicy& policy,
    const Parameters& parameters)
{
  std::unique_ptr<Module> module(new Module());
  return corvanta::createModule<Module>(
      policy,
      [&] { return module->prepare(parameters); },
      nullptr,
      [&]() -> Try<Module*> { return module.release(); });
}


mesos::Authenticatee* createOVRAClassicRPCAuthenticatee(
    const Parameters& parameters)
{
  return createPrepared<ClassicRPCAuthenticatee>(
      corvanta::CLASSIC_AUTHENTICATEE_POLICY, parameters);
}


mesos::Authenticator* createOVRAClassicRPCAuthenticator(
    const Parameters& parameters)
{
  return createPrepared<ClassicRPCAuthenticator>(
      corvanta::CLASSIC_AUTHENTICATOR_POLICY, parameters);
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
