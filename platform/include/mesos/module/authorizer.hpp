#ifndef __MESOS_MODULE_AUTHORIZER_HPP__
#define __MESOS_MODULE_AUTHORIZER_HPP__

// The descriptor of a module of kind "Authorizer".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <mesos/authorizer/authorizer.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<mesos::Authorizer>()
{
  return "Authorizer";
}


template <>
struct Module<mesos::Authorizer> : FactoryModule<mesos::Authorizer>
{
  using FactoryModule<mesos::Authorizer>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_AUTHORIZER_HPP__
