#include "ovra_auth/resource_mapping.hpp"

#include <stddef.h>

#include <stout/error.hpp>
#include <stout/strings.hpp>

#include "ovra_auth/mapping_rows.hpp"

namespace authz = mesos::authorization;

namespace mesos {
namespace ovra {

using namespace mapping;

namespace {

std::string actionName(const authz::Action& action)
{
  return authz::Action_Name(action);
}


// The members of `row.needs` that `object` lacks, as the error names them.
Option<Error> checkNeeds(
    const Row& row,
    const Option<ObjectApprover::Object>& object)
{
  // Built only for an error: mapping runs for every approval.
  const auto requirement = [&row](const std::string& what) {
    return Error(
        "Mapping of requested action '" + actionName(row.action) +
        "' requires " + what);
  };

  if ((row.needs & NEEDS_OBJECT) != 0 && object.isNone()) {
    return requirement("an object");
  }

  std::vector<std::string> missing;

  if ((row.needs & NEEDS_FRAMEWORK & ~NEEDS_OBJECT) != 0 &&
      object->framework_info == nullptr) {
    missing.push_back("framework_info");
  }

  if ((row.needs & NEEDS_EXECUTOR & ~NEEDS_OBJECT) != 0 &&
      object->executor_info == nullptr) {
    missing.push_back("executor_info");
  }

  if ((row.needs & NEEDS_TASK & ~NEEDS_OBJECT) != 0 &&
      object->task == nullptr && object->task_info == nullptr) {
    missing.push_back("task or task_info");
  }

  if (!missing.empty()) {
    return requirement("an object with " + strings::join(" and ", missing));
  }

  return None();
}


// The user RUN_TASK runs as: the task command's, the task executor's
// command's, else the framework's.
Option<std::string> taskUser(const ObjectApprover::Object& object)
{
  const TaskInfo* task = object.task_info;

  if (task != nullptr && task->has_command() && task->command().has_user()) {
    return task->command().user();
  }

  if (task != nullptr && task->has_executor() &&
      task->executor().command().has_user()) {
    return task->executor().command().user();
  }

  if (object.framework_info != nullptr) {
    return object.framework_info->user();
  }

  return None();
}

} // namespace {


ResourceMapping::ResourceMapping(
    const std::string& prefix,
    const std::string& host,
    const std::string& spaceLabel)
  : base_(prefix + ":" + host),
    spaceLabel_(spaceLabel) {}


Try<std::vector<ResourceAction>> ResourceMapping::resourceAction(
    const authz::Action& action,
    const Option<ObjectApprover::Object>& object) const
{
  const Row* const found = rowOf(action);
  if (found == nullptr || found->rule == Rule::UNMAPPED) {
    return Error(
        "Mapping of requested action '" + actionName(action) + "'" +
        (object.isSome()
           ? " with object { " + stringifyObject(object.get()) + " }"
           : "") +
        " to a OVRA resource action is not implemented");
  }

  const Row& row = *found;

  Option<Error> missing = checkNeeds(row, object);
  if (missing.isSome()) {
    return missing.get();
  }

  std::vector<ResourceAction> result;
  auto add = [&result, &row](const std::string& rid) {
    result.push_back(ResourceAction{rid, row.iam});
  };

  switch (row.rule) {
    case Rule::UNMAPPED: {
      break;
    }

    case Rule::NAMED: {
      Option<std::string> qualified;
      if (object.isSome() && row.value == Value::OBJECT_VALUE &&
          object->value != nullptr) {
        qualified = *object->value;
      } else if (object.isSome() && row.value == Value::QUOTA_ROLE &&
                 object->quota_info != nullptr) {
        qualified = object->quota_info->role();
      }

      add(base_ + row.resource +
          (qualified.isSome()
             ? ":" + std::string(row.qualifier) + ":" + qualified.get()
             : ""));
      break;
    }

    case Rule::TASK: {
      const Option<std::string> user = taskUser(object.get());
      if (user.isNone()) {
        return Error(
            "Mapping of requested action '" + actionName(action) +
            "' requires an object with framework_info or a task_info that "
            "names a user");
      }

      add(base_ + row.resource + ":user:" + user.get());

      if (object->task_info != nullptr) {
        const Option<std::string> space = extractSpace(*object->task_info);
        if (space.isSome()) {
          add(base_ + row.resource + ":app_id:" + space.get());
        }
      }
      break;
    }

    case Rule::SPACE_OR_ROLE: {
      Option<std::string> space;
      if (row.space == Space::TASK) {
        space = object->task != nullptr ? extractSpace(*object->task)
                                        : extractSpace(*object->task_info);
      } else if (row.space == Space::EXECUTOR &&
                 object->executor_info != nullptr) {
        space = extractSpace(*object->executor_info);
      }

      const FrameworkInfo* framework = object->framework_info;

      // Mesos 1.2.0 deprecates FrameworkInfo.role for the multi-role
      // `roles`, but its frameworks and its own authorizer still name their
      // role there; the resource ids are made from it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      const bool useRole = framework != nullptr &&
        (row.role != Role::WHEN_SET || framework->has_role());
      const std::string role = useRole ? framework->role() : std::string();
#pragma GCC diagnostic pop

      if (space.isSome()) {
        add(base_ + row.resource + ":app_id:" + space.get());
      } else if (useRole) {
        add(base_ + row.roleResource + ":role:" + role);
      } else {
        add(base_ + row.resource);
      }

      if (row.user && object->command_info != nullptr &&
          object->command_info->has_user()) {
        add(base_ + row.resource + ":user:" + object->command_info->user());
      }
      break;
    }
  }

  return result;
}


template <typename T>
Option<std::string> ResourceMapping::extractSpace(const T& info) const
{
  if (!info.has_labels()) {
    return None();
  }

  for (const Label& label : info.labels().labels()) {
    if (label.key() == spaceLabel_) {
      return label.value();
    }
  }

  return None();
}


template Option<std::string> ResourceMapping::extractSpace(
    const TaskInfo& info) const;
template Option<std::string> ResourceMapping::extractSpace(
    const ExecutorInfo& info) const;
template Option<std::string> ResourceMapping::extractSpace(
    const Task& info) const;


std::string ResourceMapping::stringifyObject(
    const ObjectApprover::Object& object)
{
  std::vector<std::string> texts;

  if (object.framework_info != nullptr) {
    texts.push_back(
        "framework_info { " + object.framework_info->DebugString() + " }");
  }

  if (object.task_info != nullptr) {
    texts.push_back("task_info { " + object.task_info->DebugString() + " }");
  }

  if (object.task != nullptr) {
    texts.push_back("task { " + object.task->DebugString() + " }");
  }

  if (object.executor_info != nullptr) {
    texts.push_back(
        "executor_info { " + object.executor_info->DebugString() + " }");
  }

  if (object.value != nullptr) {
    texts.push_back("value: \"" + *object.value + "\"");
  }

  return strings::join(", ", texts);
}

} // namespace ovra {
} // namespace mesos {
