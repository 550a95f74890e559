#ifndef __TOOLS_OVRA_HOST_MODULE_CREATION_HPP__
#define __TOOLS_OVRA_HOST_MODULE_CREATION_HPP__

// Creating a loaded module for the host, with a failure that says in one
// line which module of which library failed and why. A Mesos module
// factory reports its cause only to the log and returns null, and the
// module manager then says just "Error creating Module instance for
// '<name>'"; the host adds the cause that the factory logged at ERROR
// while it ran.

#include <mutex>
#include <string>

#include <glog/logging.h>

#include <stout/error.hpp>
#include <stout/try.hpp>

#include "module/manager.hpp"

#include "tools/ovra_host/loaded_modules.hpp"

namespace ovra_host {

// The last ERROR line logged while it exists, from any thread.
class LastError : public google::LogSink
{
public:
  LastError() { google::AddLogSink(this); }
  ~LastError() override { google::RemoveLogSink(this); }

  void send(google::LogSeverity severity, const char*, const char*, int,
            const struct ::tm*, const char* message, size_t length) override
  {
    if (severity == google::GLOG_ERROR) {
      std::lock_guard<std::mutex> lock(mutex_);
      text_.assign(message, length);
    }
  }

  std::string text() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
  }

private:
  mutable std::mutex mutex_;
  std::string text_;
};


template <typename T>
Try<T*> createModule(const LoadedModules& modules, const std::string& name)
{
  LastError cause;
  Try<T*> module = mesos::modules::ModuleManager::create<T>(name);
  if (module.isSome()) {
    return module;
  }

  Try<ModuleDescriptor> descriptor = modules.describe(name);
  std::string error = module.error();
  if (descriptor.isSome()) {
    error += " (library '" + descriptor->library + "')";
  }
  if (!cause.text().empty()) {
    error += ": " + cause.text();
  }
  return Error(error);
}

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_MODULE_CREATION_HPP__
