#ifndef __MESOS_MODULE_ISOLATOR_HPP__
#define __MESOS_MODULE_ISOLATOR_HPP__

// The descriptor of a module of kind "Isolator".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <mesos/slave/isolator.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<mesos::slave::Isolator>()
{
  return "Isolator";
}


template <>
struct Module<mesos::slave::Isolator> : FactoryModule<mesos::slave::Isolator>
{
  using FactoryModule<mesos::slave::Isolator>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_ISOLATOR_HPP__
