#ifndef __MESOS_MODULE_AUTHENTICATOR_HPP__
#define __MESOS_MODULE_AUTHENTICATOR_HPP__

// The descriptor of a module of kind "Authenticator".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <mesos/authentication/authenticator.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<mesos::Authenticator>()
{
  return "Authenticator";
}


template <>
struct Module<mesos::Authenticator> : FactoryModule<mesos::Authenticator>
{
  using FactoryModule<mesos::Authenticator>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_AUTHENTICATOR_HPP__
