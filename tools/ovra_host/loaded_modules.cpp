#include "tools/ovra_host/loaded_modules.hpp"

#include <dlfcn.h>

#include <set>

#include <mesos/module.hpp>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/protobuf.hpp>
#include <stout/strings.hpp>

#include <stout/flags/fetch.hpp>

#include "common/sentrel/bounded_json.hpp"

namespace ovra_host {

namespace {

// The library file as Mesos's manager opens it: `file` when given, else
// `name` expanded as the dynamic loader's name of a shared library.
std::string libraryFile(const mesos::Modules::Library& library)
{
  return library.has_file() ? library.file() : "lib" + library.name() + ".so";
}

} // namespace {


Try<mesos::Modules> LoadedModules::parse(const std::string& manifest)
{
  // "file://<path>" is read as a flag's value is; a bare absolute path is
  // the older form of the same.
  Try<std::string> text = flags::fetch<std::string>(manifest);
  if (text.isSome() && strings::startsWith(text.get(), "/")) {
    text = os::read(text.get());
  }
  if (text.isError()) {
    return Error(text.error());
  }

  Try<JSON::Object> json = mesos::sentrel::parseJson<JSON::Object>(text.get());
  if (json.isError()) {
    return Error(json.error());
  }

  return protobuf::parse<mesos::Modules>(json.get());
}


Try<LoadedModules> LoadedModules::load(const mesos::Modules& manifest)
{
  Try<Nothing> loaded = mesos::modules::ModuleManager::load(manifest);
  if (loaded.isError()) {
    return Error(loaded.error());
  }

  return LoadedModules(manifest);
}


LoadedModules::LoadedModules(const mesos::Modules& manifest)
  : manifest_(manifest)
{
  std::set<std::string> seen;
  for (const mesos::Modules::Library& library : manifest_.libraries()) {
    for (const mesos::Modules::Library::Module& module : library.modules()) {
      if (seen.insert(module.name()).second) {
        names_.push_back(module.name());
      }
    }
  }
}


Try<ModuleDescriptor> LoadedModules::describe(const std::string& name) const
{
  // The manager takes a module named twice from the last library naming it.
  Option<std::string> file;
  for (const mesos::Modules::Library& library : manifest_.libraries()) {
    for (const mesos::Modules::Library::Module& module : library.modules()) {
      if (module.name() == name) {
        file = libraryFile(library);
      }
    }
  }
  if (file.isNone()) {
    return Error("Module '" + name + "' unknown");
  }

  // The library is open already; this only finds its handle.
  void* handle = ::dlopen(file->c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    return Error("Library '" + file.get() + "' of module '" + name +
                 "' is not loaded");
  }
  const auto* base =
    static_cast<const mesos::modules::ModuleBase*>(::dlsym(handle, name.c_str()));
  ::dlclose(handle);
  if (base == nullptr) {
    return Error("Library '" + file.get() + "' has no module '" + name + "'");
  }

  ModuleDescriptor descriptor;
  descriptor.name = name;
  descriptor.library = file.get();
  descriptor.kind = base->kind;
  descriptor.moduleApiVersion = base->moduleApiVersion;
  descriptor.mesosVersion = base->mesosVersion;
  descriptor.authorName = base->authorName;
  descriptor.authorEmail = base->authorEmail;
  descriptor.description = base->description;
  return descriptor;
}

} // namespace ovra_host {
