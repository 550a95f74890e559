#ifndef __MESOS_MODULE_HPP__
#define __MESOS_MODULE_HPP__

// A module library exports one descriptor per module: a global
// `mesos::modules::Module<T>` whose unmangled name is the module's name. The
// module manager finds it with dlsym and reads it through ModuleBase, so the
// field order below is part of the binary interface between Mesos and
// module libraries.

#include <mesos/version.hpp>

#define MESOS_MODULE_API_VERSION "2"

namespace mesos {
namespace modules {

struct ModuleBase
{
  ModuleBase(
      const char* _moduleApiVersion,
      const char* _mesosVersion,
      const char* _kind,
      const char* _authorName,
      const char* _authorEmail,
      const char* _description,
      bool (*_compatible)())
    : moduleApiVersion(_moduleApiVersion),
      mesosVersion(_mesosVersion),
      kind(_kind),
      authorName(_authorName),
      authorEmail(_authorEmail),
      description(_description),
      compatible(_compatible) {}

  const char* moduleApiVersion;
  const char* mesosVersion;

  // Names the interface that the descriptor's `create` returns.
  const char* kind;
  const char* authorName;
  const char* authorEmail;
  const char* description;

  // Null: the module loads only into exactly the Mesos version it was built
  // against. Otherwise the module may also load into a newer Mesos, provided
  // this returns true.
  bool (*compatible)();
};


// Specialised by each interface header (mesos/module/<kind>.hpp).
template <typename T>
struct Module;

template <typename T>
const char* kind();

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_HPP__
