#ifndef __MESOS_MODULE_HOOK_HPP__
#define __MESOS_MODULE_HOOK_HPP__

// The descriptor of a module of kind "Hook".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <mesos/hook.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<mesos::Hook>()
{
  return "Hook";
}


template <>
struct Module<mesos::Hook> : FactoryModule<mesos::Hook>
{
  using FactoryModule<mesos::Hook>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_HOOK_HPP__
