#ifndef __OVRA_AUTH_OBJECT_APPROVER_HPP__
#define __OVRA_AUTH_OBJECT_APPROVER_HPP__

// The object approver: decides one action for one principal on any number
// of objects, from the principal's permissions as they were when it was
// made, and writes an audit record per decision. Immutable once made, so
// Mesos may call it from any thread.

#include <memory>
#include <vector>

#include <mesos/authorizer/authorizer.hpp>

#include <process/pid.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/logfmt.hpp"
#include "ovra_auth/authorization_explainer.hpp"
#include "ovra_auth/authorizer_metrics.hpp"
#include "ovra_auth/permission_index.hpp"
#include "ovra_auth/permissions.hpp"
#include "ovra_auth/resource_mapping.hpp"

namespace mesos {
namespace ovra {

// What every approver of one authorizer shares.
struct ApproverContext
{
  ResourceMapping mapping;

  // MESOS_MASTER on a master ("master" host flag), else MESOS_AGENT.
  corvanta::LogFmt::Authorizer authorizer;

  // The authorizer actor, written as the audit record's destination.
  process::UPID pid;

  corvanta::LogFmt logfmt;

  // Counted into by approvers that share this context.
  mutable AuthorizerMetrics metrics{};
};


class OVRAAuthorizerObjectApprover : public mesos::ObjectApprover
{
public:
  typedef mesos::ovra::ResourceAction ResourceAction;

  OVRAAuthorizerObjectApprover(
      const std::shared_ptr<const ApproverContext>& context,
      const SharedPermissions& permissions,
      const mesos::authorization::Subject& subject,
      const mesos::authorization::Action& action);

  // Allows when the object maps to at least one resource id and the
  // permissions hold every one of them with its action (the superuser id
  // holds everything). Fails with "Internal authorization failure: " and
  // the mapping error when the question cannot be mapped; failures are
  // never audited, decisions are, except for the four VIEW_ listings.
  Try<bool> approved(const Option<Object>& object) const noexcept override;

  // The pairs this approver requires for `object`.
  Try<std::vector<ResourceAction>> resourceAction(
      const Option<Object>& object) const;

  // The decision that `approved` makes, with every required pair and the
  // permission that grants it; fails where `approved` fails. Not audited.
  Try<AuthorizationExplanation> explain(const Option<Object>& object) const;

private:
  // The one decision rule of `approved` and `explain`: allowed when at
  // least one pair is required and a permission grants each of them.
  // `examine(pair, permission)` sees each pair looked at, with the
  // permission that grants it (null when none does); `approved` stops at
  // the first pair not granted, `explain` looks at every pair.
  enum class Walk { UNTIL_DENIED, EVERY_PAIR };
  template <typename Examine>
  bool decide(
      const std::vector<ResourceAction>& required,
      Walk walk,
      Examine examine) const;

  // The first permission in list order that grants `required` (the
  // superuser id grants everything), found through the index; null when
  // none does.
  const Permission* grantedBy(const ResourceAction& required) const;

  void audit(const Option<Object>& object, bool allowed) const;

  const std::shared_ptr<const ApproverContext> context_;
  const SharedPermissions permissions_;
  const mesos::authorization::Subject subject_;
  const mesos::authorization::Action action_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_OBJECT_APPROVER_HPP__
