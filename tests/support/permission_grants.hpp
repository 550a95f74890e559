#ifndef __TESTS_SUPPORT_PERMISSION_GRANTS_HPP__
#define __TESTS_SUPPORT_PERMISSION_GRANTS_HPP__

// Flattened permission lists written as tables of resource ids and action
// words, each entry as a direct grant of the IAM service's document.

#include <string>
#include <vector>

#include "ovra_auth/acl.pb.h"
#include "ovra_auth/permissions.hpp"

namespace ovra_test {

struct Grant
{
  std::string rid;
  std::vector<std::string> actions;
};


inline mesos::ovra::Permissions permissionList(const std::vector<Grant>& grants)
{
  mesos::ovra::Permissions result;
  for (const Grant& grant : grants) {
    mesos::ovra::iam::Direct direct;
    direct.set_rid(grant.rid);
    for (const std::string& name : grant.actions) {
      direct.add_actions()->set_name(name);
    }
    result.emplace_back(new mesos::ovra::Permission(direct));
  }
  return result;
}

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_PERMISSION_GRANTS_HPP__
