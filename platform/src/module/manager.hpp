#ifndef __MODULE_MANAGER_HPP__
#define __MODULE_MANAGER_HPP__

// The host side of Mesos modules: loads module libraries named by a
// mesos::Modules manifest, verifies each descriptor as Mesos 1.2.0 does and
// creates module instances by name. All state is process-wide and guarded by
// one mutex, so any thread may call in. Opened libraries are never closed:
// module code may still be referenced (libprocess actors, callbacks) after
// its instances are gone.

#include <string>
#include <vector>

#include <mesos/mesos.hpp>
#include <mesos/module.hpp>

#include <mesos/module/module.hpp>

#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace mesos {
namespace modules {

// A loaded module's descriptor, as plain values.
struct ModuleInfo
{
  std::string name;
  std::string library;
  std::string kind;
  std::string moduleApiVersion;
  std::string mesosVersion;
  std::string authorName;
  std::string authorEmail;
  std::string description;
  bool hasCompatible = false;

  // The parameters from the manifest, passed to `create` by default.
  Parameters parameters;
};


class ModuleManager
{
public:
  // Opens each library of the manifest (a `file` path as given, else `name`
  // expanded to lib<name>.so and searched for by the dynamic loader), finds
  // each module's descriptor by name and verifies it. Loading a module again
  // is harmless if library, parameters and descriptor are the same.
  //
  // NOTE: Modules verified before a failure stay loaded, as in Mesos.
  static Try<Nothing> load(const Modules& modules);

  // Creates an instance of the module `moduleName` of interface T, passing
  // `params` if given, else the module's parameters from the manifest. The
  // caller owns the instance. Needs T's descriptor header, e.g.
  // <mesos/module/hook.hpp>.
  template <typename T>
  static Try<T*> create(
      const std::string& moduleName,
      const Option<Parameters>& params = None())
  {
    Try<Loaded> loaded = lookup(moduleName);
    if (loaded.isError()) {
      return Error(loaded.error());
    }

    // Every Module<T> is a ModuleBase followed by `create`.
    const Module<T>* module = static_cast<const Module<T>*>(loaded->base);
    if (module->create == nullptr) {
      return Error(
          "Error creating module instance for '" + moduleName + "': "
          "create() method not found");
    }

    const std::string expectedKind = kind<T>();
    if (expectedKind != module->kind) {
      return Error(
          "Error creating module instance for '" + moduleName + "': "
          "module is of kind '" + module->kind + "', but the requested "
          "kind is '" + expectedKind + "'");
    }

    T* instance =
      module->create(params.isSome() ? params.get() : loaded->parameters);
    if (instance == nullptr) {
      return Error("Error creating Module instance for '" + moduleName + "'");
    }

    return instance;
  }

  // Whether `moduleName` is loaded and implements T.
  template <typename T>
  static bool contains(const std::string& moduleName)
  {
    return containsKind(moduleName, kind<T>());
  }

  // The names of the loaded modules that implement T, sorted.
  template <typename T>
  static std::vector<std::string> find()
  {
    return namesOfKind(kind<T>());
  }

  // The names of all loaded modules, sorted.
  static std::vector<std::string> names();

  // The descriptor of the loaded module `moduleName`.
  static Try<ModuleInfo> describe(const std::string& moduleName);

  // Forgets one module; its library stays open.
  static Try<Nothing> unload(const std::string& moduleName);

  // Forgets all modules, so that a later load() starts afresh; the libraries
  // stay open and are reused by a later load().
  static void unloadAll();

private:
  struct Loaded
  {
    const ModuleBase* base;
    Parameters parameters;
  };

  static Try<Loaded> lookup(const std::string& moduleName);
  static bool containsKind(const std::string& moduleName, const char* kind);
  static std::vector<std::string> namesOfKind(const char* kind);
};


// Parses a modules manifest the way Mesos's --modules flag takes it: JSON
// text, or "file://<path>" (also a bare absolute path, deprecated in Mesos)
// naming a file holding that JSON.
Try<Modules> parseModules(const std::string& value);

} // namespace modules {
} // namespace mesos {

#endif // __MODULE_MANAGER_HPP__
