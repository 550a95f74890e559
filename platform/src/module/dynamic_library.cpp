#include "dynamic_library.hpp"

#include <dlfcn.h>

#include <string>

#include <stout/error.hpp>

namespace mesos {
namespace modules {

namespace {

// dlerror() may be null if the loader has nothing to say.
std::string lastDlError()
{
  const char* error = dlerror();
  return error == nullptr ? "Unknown error" : error;
}

} // namespace {


Try<DynamicLibrary*> DynamicLibrary::open(const std::string& path)
{
  void* handle = dlopen(path.c_str(), RTLD_NOW);
  if (handle == nullptr) {
    return Error("Could not load library '" + path + "': " + lastDlError());
  }

  return new DynamicLibrary(handle, path);
}


std::string DynamicLibrary::expandName(const std::string& name)
{
  return "lib" + name + ".so";
}


Try<void*> DynamicLibrary::loadSymbol(const std::string& name)
{
  // Clear a stale error, so that a null symbol is told from a failure.
  dlerror();
  void* symbol = dlsym(handle_, name.c_str());
  if (symbol == nullptr) {
    return Error(
        "Error looking up symbol '" + name + "' in '" + path_ + "' : " +
        lastDlError());
  }

  return symbol;
}

} // namespace modules {
} // namespace mesos {
