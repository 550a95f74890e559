#include "ovra_auth/object_approver.hpp"

#include <string>

#include <glog/logging.h>

#include <process/address.hpp>
#include <process/clock.hpp>

#include <stout/error.hpp>
#include <stout/none.hpp>

#include "ovra_auth/resource_id.hpp"

namespace authz = mesos::authorization;

using corvanta::LogFmt;

namespace mesos {
namespace ovra {

namespace {

// Listings that Mesos filters object by object: auditing them would write
// one record per framework, task or container shown.
bool audited(const authz::Action& action)
{
  return action != authz::VIEW_FRAMEWORK &&
         action != authz::VIEW_TASK &&
         action != authz::VIEW_EXECUTOR &&
         action != authz::VIEW_CONTAINER;
}

} // namespace {


OVRAAuthorizerObjectApprover::OVRAAuthorizerObjectApprover(
    const std::shared_ptr<const ApproverContext>& context,
    const SharedPermissions& permissions,
    const authz::Subject& subject,
    const authz::Action& action)
  : context_(context),
    permissions_(permissions),
    subject_(subject),
    action_(action) {}


Try<std::vector<OVRAAuthorizerObjectApprover::ResourceAction>>
OVRAAuthorizerObjectApprover::resourceAction(
    const Option<Object>& object) const
{
  return context_->mapping.resourceAction(action_, object);
}


Try<bool> OVRAAuthorizerObjectApprover::approved(
    const Option<Object>& object) const noexcept
{
  const Try<std::vector<ResourceAction>> required = resourceAction(object);
  if (required.isError()) {
    ++context_->metrics.failed;
    return Error("Internal authorization failure: " + required.error());
  }

  const bool allowed = decide(
      required.get(),
      Walk::UNTIL_DENIED,
      [](const ResourceAction& pair, const Permission*) {
        VLOG(1) << "Trying to match resource id '" << pair.rid_
                << "' with action '" << stringifyAction(pair.action_) << "'";
      });

  ++(allowed ? context_->metrics.allowed : context_->metrics.denied);

  if (audited(action_) && context_->logfmt.enabled()) {
    audit(object, allowed);
  }

  return allowed;
}


Try<AuthorizationExplanation> OVRAAuthorizerObjectApprover::explain(
    const Option<Object>& object) const
{
  const Try<std::vector<ResourceAction>> required = resourceAction(object);
  if (required.isError()) {
    return Error("Internal authorization failure: " + required.error());
  }

  AuthorizationExplanation explanation;
  explanation.principal = subject_.value();
  explanation.allowed = decide(
      required.get(),
      Walk::EVERY_PAIR,
      [&](const ResourceAction& pair, const Permission* permission) {
        AuthorizationExplanation::Requirement requirement;
        requirement.resourceId = pair.rid_;
        requirement.action = stringifyAction(pair.action_);
        if (permission != nullptr) {
          requirement.grantedBy =
            AuthorizationExplanation::Requirement::Grant{
                permission->rid_, stringifyAction(permission->actions_)};
        }
        explanation.required.push_back(requirement);
      });

  return explanation;
}


template <typename Examine>
bool OVRAAuthorizerObjectApprover::decide(
    const std::vector<ResourceAction>& required,
    Walk walk,
    Examine examine) const
{
  bool allowed = !required.empty();
  for (const ResourceAction& pair : required) {
    const Permission* permission = grantedBy(pair);
    examine(pair, permission);
    if (permission == nullptr) {
      allowed = false;
      if (walk == Walk::UNTIL_DENIED) {
        break;
      }
    }
  }
  return allowed;
}


const Permission* OVRAAuthorizerObjectApprover::grantedBy(
    const ResourceAction& required) const
{
  return permissions_->grantedBy(tokenizeRID(required.rid_), required.action_);
}


void OVRAAuthorizerObjectApprover::audit(
    const Option<Object>& object,
    bool allowed) const
{
  LogFmt::Record record;
  record.timestamp = process::Clock::now();
  record.authorizer = context_->authorizer;
  if (subject_.has_value()) {
    record.uid = subject_.value();
  }
  record.action = authz::Action_Name(action_);
  if (object.isSome()) {
    record.object = ResourceMapping::stringifyObject(object.get());
  }
  record.result = allowed ? LogFmt::Result::ALLOW : LogFmt::Result::DENY;
  record.reason = std::string();
  record.destination = process::network::Address(context_->pid.address);
  context_->logfmt.write(record);
}

} // namespace ovra {
} // namespace mesos {
