#ifndef __MESOS_MODULE_AUTHENTICATEE_HPP__
#define __MESOS_MODULE_AUTHENTICATEE_HPP__

// The descriptor of a module of kind "Authenticatee".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <mesos/authentication/authenticatee.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<mesos::Authenticatee>()
{
  return "Authenticatee";
}


template <>
struct Module<mesos::Authenticatee> : FactoryModule<mesos::Authenticatee>
{
  using FactoryModule<mesos::Authenticatee>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_AUTHENTICATEE_HPP__
