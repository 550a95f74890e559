#ifndef __TOOLS_OVRA_HOST_LOADED_MODULES_HPP__
#define __TOOLS_OVRA_HOST_LOADED_MODULES_HPP__

// The modules of a --modules manifest, loaded through Mesos's module
// manager as a master or agent loads them. The host keeps the manifest's
// order, which Mesos 1.2.0's manager does not (it holds its modules in a
// hash map), so that "the first module of a kind" is the first that the
// configuration names; and it reads a module's descriptor from its
// library, which the manager does not expose.

#include <string>
#include <vector>

#include <mesos/mesos.hpp>

#include <mesos/module/module.hpp>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "module/manager.hpp"

namespace ovra_host {

// A loaded module's descriptor, as plain values.
struct ModuleDescriptor
{
  std::string name;
  std::string library;
  std::string kind;
  std::string moduleApiVersion;
  std::string mesosVersion;
  std::string authorName;
  std::string authorEmail;
  std::string description;
};


class LoadedModules
{
public:
  // The manifest as Mesos's --modules flag takes it: JSON text, or
  // "file://" and the path of a file holding it.
  static Try<mesos::Modules> parse(const std::string& manifest);

  // Loads every library and module of `manifest`; the manager's errors
  // pass as they are.
  static Try<LoadedModules> load(const mesos::Modules& manifest);

  // Every loaded module, in the manifest's order.
  const std::vector<std::string>& names() const { return names_; }

  // The loaded modules of kind T (whose module header, such as
  // <mesos/module/hook.hpp>, must be included), in the manifest's order.
  template <typename T>
  std::vector<std::string> ofKind() const
  {
    std::vector<std::string> result;
    for (const std::string& name : names_) {
      if (mesos::modules::ModuleManager::contains<T>(name)) {
        result.push_back(name);
      }
    }
    return result;
  }

  // `flag` when given, else the first loaded module of kind T.
  template <typename T>
  Option<std::string> chosen(const Option<std::string>& flag) const
  {
    if (flag.isSome()) {
      return flag;
    }
    const std::vector<std::string> candidates = ofKind<T>();
    if (candidates.empty()) {
      return None();
    }
    return candidates.front();
  }

  Try<ModuleDescriptor> describe(const std::string& name) const;

private:
  explicit LoadedModules(const mesos::Modules& manifest);

  const mesos::Modules manifest_;
  std::vector<std::string> names_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_LOADED_MODULES_HPP__
