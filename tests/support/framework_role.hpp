#ifndef __TESTS_SUPPORT_FRAMEWORK_ROLE_HPP__
#define __TESTS_SUPPORT_FRAMEWORK_ROLE_HPP__

// Sets a framework's role as the frameworks of Mesos 1.2.0 still give it:
// in FrameworkInfo.role, which that release's protos mark deprecated for
// the multi-role `roles`.

#include <string>

#include <mesos/mesos.hpp>

namespace ovra_test {

inline void setRole(mesos::FrameworkInfo* framework, const std::string& role)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  framework->set_role(role);
#pragma GCC diagnostic pop
}

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_FRAMEWORK_ROLE_HPP__
