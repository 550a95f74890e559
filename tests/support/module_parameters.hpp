#ifndef __TESTS_SUPPORT_MODULE_PARAMETERS_HPP__
#define __TESTS_SUPPORT_MODULE_PARAMETERS_HPP__

// Module parameters as a modules configuration gives them, from key-value
// pairs in order.

#include <string>
#include <utility>
#include <vector>

#include <mesos/mesos.hpp>

namespace ovra_test {

inline mesos::Parameters parameters(
    const std::vector<std::pair<std::string, std::string>>& pairs)
{
  mesos::Parameters result;
  for (const auto& [key, value] : pairs) {
    mesos::Parameter* parameter = result.add_parameter();
    parameter->set_key(key);
    parameter->set_value(value);
  }
  return result;
}

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_MODULE_PARAMETERS_HPP__
