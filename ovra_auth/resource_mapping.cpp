#include "ovra_auth/resource_mapping.hpp"

#include <stddef.h>

#include <stout/error.hpp>
#include <stout/strings.hpp>

namespace authz = mesos::authorization;

namespace mesos {
namespace ovra {

namespace {

// How a row builds its resource ids (B is "<prefix>:<host>").
enum class Rule
{
  // No mapping: the question is answered with an error.
  UNMAPPED,

  // B + resource, followed by ":" + qualifier + ":" + the row's value when
  // the object carries one.
  NAMED,

  // RUN_TASK: B + ":task:user:" + the task's user, then
  // B + ":task:app_id:" + the space of the task_info when it has one.
  TASK,

  // B + resource + ":app_id:" + the space; without a space
  // B + roleResource + ":role:" + the framework's role, or B + resource
  // when the row's role rule does not apply. Rows with `user` add
  // B + resource + ":user:" + the user of the object's command_info.
  SPACE_OR_ROLE,
};

// Where a NAMED row's value comes from.
enum class Value { NONE, OBJECT_VALUE, QUOTA_ROLE };

// Where a SPACE_OR_ROLE row's space comes from: the task (else the
// task_info), or the executor_info.
enum class Space { NONE, TASK, EXECUTOR };

// When a SPACE_OR_ROLE row without a space uses the framework's role:
// always, only when the role field is set, or when framework_info is there.
enum class Role { ALWAYS, WHEN_SET, WHEN_PRESENT };

// Object members that a row cannot do without.
enum Needs : unsigned
{
  NEEDS_NOTHING = 0,
  NEEDS_OBJECT = 1,
  NEEDS_FRAMEWORK = 2 | NEEDS_OBJECT,
  NEEDS_EXECUTOR = 4 | NEEDS_OBJECT,
  NEEDS_TASK = 8 | NEEDS_OBJECT, // `task` or `task_info`.
};


struct Row
{
  authz::Action action;
  Rule rule;
  Action iam;
  const char* resource;
  const char* qualifier;
  Value value;
  Space space;
  const char* roleResource;
  Role role;
  bool user;
  unsigned needs;
};


constexpr Row unmapped(authz::Action action)
{
  return Row{action, Rule::UNMAPPED, NONE, "", "", Value::NONE, Space::NONE,
             "", Role::ALWAYS, false, NEEDS_NOTHING};
}


constexpr Row named(
    authz::Action action,
    Action iam,
    const char* resource,
    const char* qualifier = "",
    Value value = Value::OBJECT_VALUE)
{
  return Row{action, Rule::NAMED, iam, resource, qualifier, value,
             Space::NONE, "", Role::ALWAYS, false, NEEDS_NOTHING};
}


constexpr Row fixed(authz::Action action, Action iam, const char* resource)
{
  return named(action, iam, resource, "", Value::NONE);
}


constexpr Row spaceOrRole(
    authz::Action action,
    Action iam,
    Space space,
    const char* resource,
    const char* roleResource,
    Role role,
    unsigned needs)
{
  return Row{action, Rule::SPACE_OR_ROLE, iam, resource, "", Value::NONE,
             space, roleResource, role, false, needs};
}


// The container rows: space of the executor, else the framework's role, on
// one resource; they need both executor_info and framework_info.
constexpr Row container(
    authz::Action action,
    Action iam,
    const char* resource,
    Role role = Role::ALWAYS,
    bool user = false)
{
  return Row{action, Rule::SPACE_OR_ROLE, iam, resource, "", Value::NONE,
             Space::EXECUTOR, resource, role, user,
             NEEDS_FRAMEWORK | NEEDS_EXECUTOR};
}


constexpr bool WITH_USER = true;


// One row per value of mesos::authorization::Action, in value order. The
// alias names of the enumeration share their value's row.
constexpr Row ROWS[] = {
  unmapped(authz::UNKNOWN),
  named(authz::REGISTER_FRAMEWORK, CREATE, ":framework", "role"),
  Row{authz::RUN_TASK, Rule::TASK, CREATE, ":task", "", Value::NONE,
      Space::NONE, "", Role::ALWAYS, false, NEEDS_OBJECT},
  named(authz::TEARDOWN_FRAMEWORK, DELETE, ":framework", "principal"),
  named(authz::RESERVE_RESOURCES, CREATE, ":reservation", "role"),
  named(authz::UNRESERVE_RESOURCES, DELETE, ":reservation", "principal"),
  named(authz::CREATE_VOLUME, CREATE, ":volume", "role"),
  named(authz::DESTROY_VOLUME, DELETE, ":volume", "principal"),
  named(authz::GET_ENDPOINT_WITH_PATH, READ, ":endpoint", "path"),
  named(authz::VIEW_ROLE, READ, ":weight", "role"),
  named(authz::UPDATE_WEIGHT, UPDATE, ":weight", "role"),
  named(authz::GET_QUOTA, READ, ":quota", "role"),
  named(authz::UPDATE_QUOTA, UPDATE, ":quota", "role", Value::QUOTA_ROLE),
  spaceOrRole(authz::VIEW_FRAMEWORK, READ, Space::NONE,
              ":framework", ":framework", Role::ALWAYS, NEEDS_FRAMEWORK),
  spaceOrRole(authz::VIEW_TASK, READ, Space::TASK,
              ":task", ":framework", Role::ALWAYS,
              NEEDS_FRAMEWORK | NEEDS_TASK),
  spaceOrRole(authz::VIEW_EXECUTOR, READ, Space::EXECUTOR,
              ":executor", ":framework", Role::ALWAYS,
              NEEDS_FRAMEWORK | NEEDS_EXECUTOR),
  spaceOrRole(authz::ACCESS_SANDBOX, READ, Space::EXECUTOR,
              ":sandbox", ":framework", Role::WHEN_PRESENT, NEEDS_OBJECT),
  fixed(authz::ACCESS_MESOS_LOG, READ, ":log"),
  fixed(authz::VIEW_FLAGS, READ, ":flags"),
  container(authz::LAUNCH_NESTED_CONTAINER, CREATE, ":nested_container",
            Role::ALWAYS, WITH_USER),
  container(authz::KILL_NESTED_CONTAINER, DELETE, ":nested_container",
            Role::WHEN_SET),
  container(authz::WAIT_NESTED_CONTAINER, READ, ":nested_container"),
  container(authz::LAUNCH_NESTED_CONTAINER_SESSION, CREATE,
            ":nested_container_session", Role::ALWAYS, WITH_USER),
  container(authz::ATTACH_CONTAINER_INPUT, UPDATE, ":container"),
  container(authz::ATTACH_CONTAINER_OUTPUT, READ, ":container"),
  container(authz::VIEW_CONTAINER, READ, ":container"),
  fixed(authz::SET_LOG_LEVEL, UPDATE, ":log_level"),
};

constexpr size_t ROW_COUNT = sizeof(ROWS) / sizeof(ROWS[0]);

static_assert(
    ROW_COUNT == static_cast<size_t>(authz::Action_MAX) + 1,
    "Every value of mesos::authorization::Action needs a row");


constexpr bool rowsInValueOrder()
{
  for (size_t i = 0; i < ROW_COUNT; ++i) {
    if (static_cast<size_t>(ROWS[i].action) != i) {
      return false;
    }
  }
  return true;
}

static_assert(rowsInValueOrder(), "The rows must be in value order");


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
  const int value = static_cast<int>(action);

  if (value < 0 || static_cast<size_t>(value) >= ROW_COUNT ||
      ROWS[value].rule == Rule::UNMAPPED) {
    return Error(
        "Mapping of requested action '" + actionName(action) + "'" +
        (object.isSome()
           ? " with object { " + stringifyObject(object.get()) + " }"
           : "") +
        " to a OVRA resource action is not implemented");
  }

  const Row& row = ROWS[value];

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
