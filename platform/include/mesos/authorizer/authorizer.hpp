#ifndef __MESOS_AUTHORIZER_AUTHORIZER_HPP__
#define __MESOS_AUTHORIZER_AUTHORIZER_HPP__

// The authorizer interface: decides whether a subject may perform an action
// on an object, either per request (authorized) or through an approver that
// checks many objects synchronously for one subject and action.

#include <string>

#include <mesos/mesos.hpp>

#include <mesos/authorizer/authorizer.pb.h>

#include <process/future.hpp>
#include <process/owned.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace mesos {

class ACLs;

// Checks objects for one subject and action, without blocking: actors call
// it synchronously. An error means the approver could not decide.
class ObjectApprover
{
public:
  // An authorization::Object by reference: each member points at the
  // corresponding field of the object if that field is set, else is null.
  // Keep in step with authorization::Object.
  struct Object
  {
    Object()
      : value(nullptr),
        framework_info(nullptr),
        task(nullptr),
        task_info(nullptr),
        executor_info(nullptr),
        quota_info(nullptr),
        weight_info(nullptr),
        resource(nullptr),
        command_info(nullptr) {}

    // Implicit, so that an authorization::Object can be passed where an
    // Object is expected; `object` must outlive this.
    Object(const authorization::Object& object)
      : value(object.has_value() ? &object.value() : nullptr),
        framework_info(
            object.has_framework_info() ? &object.framework_info() : nullptr),
        task(object.has_task() ? &object.task() : nullptr),
        task_info(object.has_task_info() ? &object.task_info() : nullptr),
        executor_info(
            object.has_executor_info() ? &object.executor_info() : nullptr),
        quota_info(object.has_quota_info() ? &object.quota_info() : nullptr),
        weight_info(object.has_weight_info() ? &object.weight_info() : nullptr),
        resource(object.has_resource() ? &object.resource() : nullptr),
        command_info(
            object.has_command_info() ? &object.command_info() : nullptr) {}

    const std::string* value;
    const FrameworkInfo* framework_info;
    const Task* task;
    const TaskInfo* task_info;
    const ExecutorInfo* executor_info;
    const quota::QuotaInfo* quota_info;
    const WeightInfo* weight_info;
    const Resource* resource;
    const CommandInfo* command_info;
  };

  virtual Try<bool> approved(
      const Option<Object>& object) const noexcept = 0;

  virtual ~ObjectApprover() = default;
};


// A future of true allows, false denies; a failed future means the
// authorizer could not decide (e.g. its back end is unreachable) and the
// caller may retry.
class Authorizer
{
public:
  // Mesos's factories for a module by name and for its local authorizer.
  // Declared for source compatibility only: the platform defines neither.
  static Try<Authorizer*> create(const std::string& name);
  static Try<Authorizer*> create(const ACLs& acls);

  virtual ~Authorizer() {}

  virtual process::Future<bool> authorized(
      const authorization::Request& request) = 0;

  virtual process::Future<process::Owned<ObjectApprover>> getObjectApprover(
      const Option<authorization::Subject>& subject,
      const authorization::Action& action) = 0;

protected:
  Authorizer() {}
};

} // namespace mesos {

#endif // __MESOS_AUTHORIZER_AUTHORIZER_HPP__
