#include "module/manager.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <mesos/version.hpp>

#include <stout/error.hpp>
#include <stout/stringify.hpp>

#include "dynamic_library.hpp"
#include "version.hpp"

using std::string;
using std::vector;

namespace mesos {
namespace modules {

namespace {

// The oldest Mesos version each kind's interface is compatible with. Every
// kind was last changed in this release, so modules of any kind must be
// built against 1.2.0 or later.
const std::map<string, string>& kindToVersion()
{
  static const std::map<string, string> versions = {
    {"Allocator", MESOS_VERSION},
    {"Anonymous", MESOS_VERSION},
    {"Authenticatee", MESOS_VERSION},
    {"Authenticator", MESOS_VERSION},
    {"Authorizer", MESOS_VERSION},
    {"ContainerLogger", MESOS_VERSION},
    {"Hook", MESOS_VERSION},
    {"HttpAuthenticator", MESOS_VERSION},
    {"Isolator", MESOS_VERSION},
    {"MasterContender", MESOS_VERSION},
    {"MasterDetector", MESOS_VERSION},
    {"QoSController", MESOS_VERSION},
    {"ResourceEstimator", MESOS_VERSION},
    {"TestModule", MESOS_VERSION},
  };
  return versions;
}


struct State
{
  std::mutex mutex;

  // Keyed by library name (the path or expanded name as opened); never
  // erased, see the header.
  std::map<string, DynamicLibrary*> libraries;

  // Keyed by module name.
  std::map<string, const ModuleBase*> bases;
  std::map<string, Parameters> parameters;
  std::map<string, string> moduleLibraries;
};


State& state()
{
  // Leaked, so that modules unloading late in process exit find it intact.
  static State* state = new State();
  return *state;
}


Try<Nothing> verifyModule(const string& moduleName, const ModuleBase* base)
{
  if (base->mesosVersion == nullptr ||
      base->moduleApiVersion == nullptr ||
      base->authorName == nullptr ||
      base->authorEmail == nullptr ||
      base->description == nullptr ||
      base->kind == nullptr) {
    return Error("Error loading module '" + moduleName + "'; missing fields");
  }

  if (string(base->moduleApiVersion) != MESOS_MODULE_API_VERSION) {
    return Error(
        "Module API version mismatch. Mesos has: " MESOS_MODULE_API_VERSION ", "
        "library requires: " + string(base->moduleApiVersion));
  }

  auto minimum = kindToVersion().find(base->kind);
  if (minimum == kindToVersion().end()) {
    return Error("Unknown module kind: " + string(base->kind));
  }

  // Our own version strings are well-formed; the module's may not be.
  const Version mesosVersion = Version::parse(MESOS_VERSION).get();
  const Version minimumVersion = Version::parse(minimum->second).get();

  Try<Version> moduleVersion = Version::parse(base->mesosVersion);
  if (moduleVersion.isError()) {
    return Error(moduleVersion.error());
  }

  if (moduleVersion.get() < minimumVersion) {
    return Error(
        "Minimum supported mesos version for '" + string(base->kind) +
        "' is " + stringify(minimumVersion) + ", but module is compiled "
        "with version " + stringify(moduleVersion.get()));
  }

  // Without `compatible` only the exact version is accepted; with it, any
  // version up to ours that `compatible` agrees to.
  if (moduleVersion.get() > mesosVersion ||
      (base->compatible == nullptr && moduleVersion.get() != mesosVersion)) {
    return Error(
        "Mesos has version " + stringify(mesosVersion) +
        ", but module is compiled with version " +
        stringify(moduleVersion.get()));
  }

  // The missing blank is Mesos's message as is.
  if (base->compatible != nullptr && !base->compatible()) {
    return Error("Module " + moduleName + "has determined to be incompatible");
  }

  return Nothing();
}


// A module loaded twice must come from the same library, with the same
// parameters in the same order and an equal descriptor.
Try<Nothing> verifyIdenticalModule(
    State& state,
    const string& libraryName,
    const Modules::Library::Module& module,
    const ModuleBase* base)
{
  const string& moduleName = module.name();

  const string& loadedFrom = state.moduleLibraries[moduleName];
  if (libraryName != loadedFrom) {
    return Error(
        "The same module appears in two different module libraries - "
        "'" + libraryName + "' and '" + loadedFrom + "'");
  }

  const Parameters& parameters = state.parameters[moduleName];
  bool parameterError =
    module.parameters().size() != parameters.parameter().size();

  for (int i = 0; i < module.parameters().size() && !parameterError; i++) {
    const Parameter& lhs = parameters.parameter(i);
    const Parameter& rhs = module.parameters(i);
    if (lhs.key() != rhs.key() || lhs.value() != rhs.value()) {
      parameterError = true;
    }
  }

  if (parameterError) {
    return Error(
        "A module with same name but different parameters already exists");
  }

  const ModuleBase* loaded = state.bases[moduleName];
  if (strcmp(base->moduleApiVersion, loaded->moduleApiVersion) != 0 ||
      strcmp(base->mesosVersion, loaded->mesosVersion) != 0 ||
      strcmp(base->kind, loaded->kind) != 0 ||
      strcmp(base->authorName, loaded->authorName) != 0 ||
      strcmp(base->authorEmail, loaded->authorEmail) != 0 ||
      strcmp(base->description, loaded->description) != 0 ||
      base->compatible != loaded->compatible) {
    return Error(
        "A module with same name but different module manifest already exists");
  }

  return Nothing();
}

} // namespace {


Try<Nothing> ModuleManager::load(const Modules& modules)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  for (const Modules::Library& library : modules.libraries()) {
    string libraryName;
    if (library.has_file()) {
      libraryName = library.file();
    } else if (library.has_name()) {
      libraryName = DynamicLibrary::expandName(library.name());
    } else {
      return Error("Library name or path not provided");
    }

    if (state.libraries.count(libraryName) == 0) {
      Try<DynamicLibrary*> opened = DynamicLibrary::open(libraryName);
      if (opened.isError()) {
        return Error(
            "Error opening library: '" + libraryName + "': " + opened.error());
      }
      state.libraries[libraryName] = opened.get();
    }

    DynamicLibrary* dynamicLibrary = state.libraries[libraryName];

    for (const Modules::Library::Module& module : library.modules()) {
      if (!module.has_name()) {
        return Error(
            "Error: module name not provided with library '" + libraryName +
            "'");
      }

      const string& moduleName = module.name();

      Try<void*> symbol = dynamicLibrary->loadSymbol(moduleName);
      if (symbol.isError()) {
        return Error(
            "Error loading module '" + moduleName + "': " + symbol.error());
      }

      const ModuleBase* base = static_cast<const ModuleBase*>(symbol.get());

      Try<Nothing> verified = verifyModule(moduleName, base);
      if (verified.isError()) {
        return Error(
            "Error verifying module '" + moduleName + "': " +
            verified.error());
      }

      // Verified first, so that the comparison below sees no null fields.
      if (state.bases.count(moduleName) > 0) {
        Try<Nothing> identical =
          verifyIdenticalModule(state, libraryName, module, base);
        if (identical.isError()) {
          // Wording, double blank and misspelling are Mesos's.
          return Error(
              "Error loading module '" + moduleName + "'; this is "
              " potenatially due to duplicate module names; " +
              identical.error());
        }
        continue;
      }

      state.bases[moduleName] = base;
      state.moduleLibraries[moduleName] = libraryName;
      state.parameters[moduleName].mutable_parameter()->CopyFrom(
          module.parameters());
    }
  }

  return Nothing();
}


Try<ModuleManager::Loaded> ModuleManager::lookup(const string& moduleName)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  auto base = state.bases.find(moduleName);
  if (base == state.bases.end()) {
    return Error("Module '" + moduleName + "' unknown");
  }

  return Loaded{base->second, state.parameters[moduleName]};
}


bool ModuleManager::containsKind(const string& moduleName, const char* kind)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  auto base = state.bases.find(moduleName);
  return base != state.bases.end() && strcmp(base->second->kind, kind) == 0;
}


vector<string> ModuleManager::namesOfKind(const char* kind)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  vector<string> result;
  for (const auto& base : state.bases) {
    if (strcmp(base.second->kind, kind) == 0) {
      result.push_back(base.first);
    }
  }
  return result;
}


vector<string> ModuleManager::names()
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  vector<string> result;
  for (const auto& base : state.bases) {
    result.push_back(base.first);
  }
  return result;
}


Try<ModuleInfo> ModuleManager::describe(const string& moduleName)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  auto found = state.bases.find(moduleName);
  if (found == state.bases.end()) {
    return Error("Module '" + moduleName + "' unknown");
  }

  // Loaded descriptors passed verification: no string field is null.
  const ModuleBase* base = found->second;

  ModuleInfo info;
  info.name = moduleName;
  info.library = state.moduleLibraries[moduleName];
  info.kind = base->kind;
  info.moduleApiVersion = base->moduleApiVersion;
  info.mesosVersion = base->mesosVersion;
  info.authorName = base->authorName;
  info.authorEmail = base->authorEmail;
  info.description = base->description;
  info.hasCompatible = base->compatible != nullptr;
  info.parameters = state.parameters[moduleName];
  return info;
}


Try<Nothing> ModuleManager::unload(const string& moduleName)
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  if (state.bases.count(moduleName) == 0) {
    return Error(
        "Error unloading module '" + moduleName + "': module not loaded");
  }

  state.bases.erase(moduleName);
  state.parameters.erase(moduleName);
  state.moduleLibraries.erase(moduleName);
  return Nothing();
}


void ModuleManager::unloadAll()
{
  State& state = modules::state();
  std::lock_guard<std::mutex> lock(state.mutex);

  state.bases.clear();
  state.parameters.clear();
  state.moduleLibraries.clear();
}

} // namespace modules {
} // namespace mesos {
