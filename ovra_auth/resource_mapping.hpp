#ifndef __OVRA_AUTH_RESOURCE_MAPPING_HPP__
#define __OVRA_AUTH_RESOURCE_MAPPING_HPP__

// The translation of a Mesos authorization question (an action and an
// object) into the IAM resource ids and actions that the principal must
// all hold. Every id begins with "<prefix>:<host>"; the rest comes from one
// row per action value (ovra_auth/resource_mapping.cpp) and the object's
// values, inserted as they stand. Pure and immutable: safe on any thread.

#include <string>
#include <vector>

#include <mesos/mesos.hpp>

#include <mesos/authorizer/authorizer.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "ovra_auth/permissions.hpp"

namespace mesos {
namespace ovra {

// One resource id the principal must hold, with the action bit it must hold
// on it.
struct ResourceAction
{
  std::string rid_;
  Action action_;
};


class ResourceMapping
{
public:
  // `spaceLabel` is the key of the task or executor label that names the
  // task's space (a path such as /prod/web).
  ResourceMapping(
      const std::string& prefix,
      const std::string& host,
      const std::string& spaceLabel);

  // The pairs for `action` on `object`, in order. Fails for an action
  // without a mapping (UNKNOWN, or a value above the last one) and for an
  // object that lacks a member the action's row requires; Mesos always
  // supplies those, so the error marks a broken request, never a denial.
  Try<std::vector<ResourceAction>> resourceAction(
      const mesos::authorization::Action& action,
      const Option<ObjectApprover::Object>& object) const;

  // The value of the first label of `info` keyed exactly by the space
  // label (empty if it has no value); none without such a label.
  // Instantiated for TaskInfo, ExecutorInfo and Task.
  template <typename T>
  Option<std::string> extractSpace(const T& info) const;

  // The object as the audit records and errors show it: framework_info,
  // task_info, task and executor_info in text format and the value in
  // double quotes, those present, joined by ", ". The other members are
  // never shown.
  static std::string stringifyObject(const ObjectApprover::Object& object);

private:
  const std::string base_;
  const std::string spaceLabel_;
};

} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_RESOURCE_MAPPING_HPP__
