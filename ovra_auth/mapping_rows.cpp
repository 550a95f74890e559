#include "ovra_auth/mapping_rows.hpp"

#include <stddef.h>

namespace authz = mesos::authorization;

namespace mesos {
namespace ovra {
namespace mapping {

namespace {

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

} // namespace {


const Row* rowOf(authz::Action action)
{
  const int value = static_cast<int>(action);
  if (value < 0 || static_cast<size_t>(value) >= ROW_COUNT) {
    return nullptr;
  }
  return &ROWS[value];
}

} // namespace mapping {
} // namespace ovra {
} // namespace mesos {
