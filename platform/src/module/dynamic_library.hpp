#ifndef __MODULE_DYNAMIC_LIBRARY_HPP__
#define __MODULE_DYNAMIC_LIBRARY_HPP__

// A shared library opened with dlopen. The module manager keeps these open
// for the life of the process, so there is no close.

#include <string>

#include <stout/try.hpp>

namespace mesos {
namespace modules {

class DynamicLibrary
{
public:
  // Opens `path` (resolved by the dynamic loader if it has no slash) with
  // all symbols bound now, so that a library with unresolved symbols fails
  // here rather than on first use.
  static Try<DynamicLibrary*> open(const std::string& path);

  // "lib<name>.so": the file a manifest's library `name` stands for.
  static std::string expandName(const std::string& name);

  Try<void*> loadSymbol(const std::string& name);

  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

private:
  DynamicLibrary(void* handle, const std::string& path)
    : handle_(handle), path_(path) {}

  void* handle_;
  std::string path_;
};

} // namespace modules {
} // namespace mesos {

#endif // __MODULE_DYNAMIC_LIBRARY_HPP__
