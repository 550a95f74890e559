#include "ovra_auth/authorizer.hpp"

#include <process/dispatch.hpp>
#include <process/process.hpp>

#include "ovra_auth/authorizer_process.hpp"

using process::Future;
using process::Owned;

namespace mesos {
namespace ovra {

Try<mesos::Authorizer*> OVRAAuthorizer::create(const Flags& flags)
{
  return new OVRAAuthorizer(flags);
}


OVRAAuthorizer::OVRAAuthorizer(
    const Flags& flags,
    const Option<ResponseGetter>& get)
  : process_(new OVRAAuthorizerProcess(flags, get))
{
  process::spawn(process_.get());
}


OVRAAuthorizer::~OVRAAuthorizer()
{
  process::terminate(process_.get());
  process::wait(process_.get());
}


Future<bool> OVRAAuthorizer::authorized(
    const mesos::authorization::Request& request)
{
  return process::dispatch(
      process_.get(), &OVRAAuthorizerProcess::authorized, request);
}


Future<Owned<mesos::ObjectApprover>> OVRAAuthorizer::getObjectApprover(
    const Option<mesos::authorization::Subject>& subject,
    const mesos::authorization::Action& action)
{
  return process::dispatch(
      process_.get(),
      &OVRAAuthorizerProcess::getObjectApprover,
      subject,
      action);
}


Future<AuthorizationExplanation> OVRAAuthorizer::explain(
    const mesos::authorization::Request& request)
{
  return process::dispatch(
      process_.get(), &OVRAAuthorizerProcess::explain, request);
}

} // namespace ovra {
} // namespace mesos {
