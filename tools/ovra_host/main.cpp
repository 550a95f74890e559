// ovra_host: plays the Mesos master or agent for the library's modules. It
// loads the modules that a Mesos modules configuration names, through the
// same loader and checks as Mesos's module manager.
//
//   ovra_host --modules=file://examples/modules.json --describe

#include <iostream>
#include <string>

#include <glog/logging.h>

#include <mesos/module/manager.hpp>

#include <stout/flags.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

using mesos::modules::ModuleInfo;
using mesos::modules::ModuleManager;

namespace {

class HostFlags : public virtual flags::FlagsBase
{
public:
  HostFlags()
  {
    setUsageMessage("Usage: ovra_host --modules=<JSON or file://path> [options]");

    add(&HostFlags::modules,
        "modules",
        "The modules to load, in the form of Mesos's --modules flag: JSON\n"
        "text, or file:// followed by the path of a file holding it.");

    add(&HostFlags::describe,
        "describe",
        "Print the descriptor of every loaded module and exit.",
        false);
  }

  Option<std::string> modules;
  bool describe;
};


void printDescriptor(const ModuleInfo& info)
{
  std::cout << info.name << "\n"
            << "  kind:               " << info.kind << "\n"
            << "  module API version: " << info.moduleApiVersion << "\n"
            << "  Mesos version:      " << info.mesosVersion << "\n"
            << "  author:             " << info.authorName << " <"
            << info.authorEmail << ">\n"
            << "  description:        " << info.description << "\n"
            << "  library:            " << info.library << "\n";
}

} // namespace {


int main(int argc, char** argv)
{
  google::InitGoogleLogging(argv[0]);
  FLAGS_logtostderr = true;

  HostFlags flags;
  Try<flags::Warnings> load = flags.load(None(), argc, argv);
  if (load.isError()) {
    std::cerr << flags.usage(load.error()) << std::endl;
    return 1;
  }

  if (flags.help) {
    std::cout << flags.usage() << std::endl;
    return 0;
  }

  if (flags.modules.isNone()) {
    std::cerr << flags.usage("Missing --modules") << std::endl;
    return 1;
  }

  Try<mesos::Modules> modules = mesos::modules::parseModules(flags.modules.get());
  if (modules.isError()) {
    std::cerr << "Invalid --modules: " << modules.error() << std::endl;
    return 1;
  }

  Try<Nothing> loaded = ModuleManager::load(modules.get());
  if (loaded.isError()) {
    std::cerr << "Failed to load modules: " << loaded.error() << std::endl;
    return 1;
  }

  if (flags.describe) {
    for (const std::string& name : ModuleManager::names()) {
      Try<ModuleInfo> info = ModuleManager::describe(name);
      if (info.isError()) {
        std::cerr << info.error() << std::endl;
        return 1;
      }
      printDescriptor(info.get());
    }
    return 0;
  }

  std::cerr << "Nothing to do yet: pass --describe" << std::endl;
  return 1;
}
