#ifndef __MESOS_MODULE_FACTORY_MODULE_HPP__
#define __MESOS_MODULE_FACTORY_MODULE_HPP__

// The common shape of every Module<T> specialisation: the descriptor fields
// plus the factory that the module manager calls with the module's
// parameters. Each interface header derives Module<T> from it and inherits
// the constructor, so a descriptor reads as in Mesos:
//
//   Module<Hook> org_example_Hook(
//       MESOS_MODULE_API_VERSION, MESOS_VERSION, "author", "email",
//       "description", nullptr, createHook);

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>

namespace mesos {
namespace modules {

template <typename T>
struct FactoryModule : ModuleBase
{
  FactoryModule(
      const char* _moduleApiVersion,
      const char* _mesosVersion,
      const char* _authorName,
      const char* _authorEmail,
      const char* _description,
      bool (*_compatible)(),
      T* (*_create)(const Parameters& parameters))
    : ModuleBase(
        _moduleApiVersion,
        _mesosVersion,
        mesos::modules::kind<T>(),
        _authorName,
        _authorEmail,
        _description,
        _compatible),
      create(_create) {}

  T* (*create)(const Parameters& parameters);
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_FACTORY_MODULE_HPP__
