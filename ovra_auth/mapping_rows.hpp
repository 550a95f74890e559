#ifndef __OVRA_AUTH_MAPPING_ROWS_HPP__
#define __OVRA_AUTH_MAPPING_ROWS_HPP__

// The table from Mesos's authorization actions to the IAM service's
// resource ids and actions: one row per action, each saying how its
// resource ids are built.

#include <mesos/authorizer/authorizer.hpp>

#include "ovra_auth/permissions.hpp"

namespace mesos {
namespace ovra {
namespace mapping {

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
  mesos::authorization::Action action;
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


// The row of `action`, or null for a value outside the enumeration.
const Row* rowOf(mesos::authorization::Action action);

} // namespace mapping {
} // namespace ovra {
} // namespace mesos {

#endif // __OVRA_AUTH_MAPPING_ROWS_HPP__
