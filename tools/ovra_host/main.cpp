// ovra_host: plays the Mesos master or agent for the library's modules. It
// loads the modules that a Mesos modules configuration names, through the
// same loader and checks as Mesos's module manager, and serves endpoints on
// loopback that require authentication through the loaded HTTP
// authenticator, as Mesos's HTTP server does, and authorization through the
// loaded authorizer, as Mesos authorizes its endpoints.
//
//   ovra_host --modules=file://examples/modules.json --describe
//   ovra_host --modules=file://examples/master.json --role=master
//
// It listens on LIBPROCESS_IP:LIBPROCESS_PORT (by default 127.0.0.1 and a
// free port), prints "Listening on <ip>:<port>" and runs until SIGINT or
// SIGTERM.

#include <signal.h>

#include <iostream>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <mesos/authorizer/authorizer.hpp>

#include <mesos/module/authorizer.hpp>
#include <mesos/module/http_authenticator.hpp>
#include <mesos/module/manager.hpp>

#include <process/authenticator.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/flags.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "tools/command_line.hpp"

#include "tools/ovra_host/host_process.hpp"

using mesos::modules::ModuleInfo;
using mesos::modules::ModuleManager;

using process::http::authentication::Authenticator;

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

    add(&HostFlags::role,
        "role",
        "The Mesos process this host plays: 'master' or 'agent'.",
        "master",
        [](const std::string& role) -> Option<Error> {
          if (role != "master" && role != "agent") {
            return Error("--role must be 'master' or 'agent'");
          }
          return None();
        });

    add(&HostFlags::http_authenticator,
        "http_authenticator",
        "The loaded HttpAuthenticator module that authenticates requests;\n"
        "by default the first one of the modules configuration.");

    add(&HostFlags::authorizer,
        "authorizer",
        "The loaded Authorizer module that authorizes authenticated\n"
        "requests; by default the first one of the modules configuration.\n"
        "Without any, authenticated requests are not authorized.");
  }

  Option<std::string> modules;
  bool describe;
  std::string role;
  Option<std::string> http_authenticator;
  Option<std::string> authorizer;
};


sigset_t terminationSignals()
{
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}


// The module named by `flag`, else the first loaded module of kind T.
template <typename T>
Option<std::string> chosen(const Option<std::string>& flag)
{
  if (flag.isSome()) {
    return flag;
  }

  const std::vector<std::string> names = ModuleManager::find<T>();
  if (names.empty()) {
    return None();
  }
  return names.front();
}


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
  // The termination signals are taken by sigwait(), not by a handler: every
  // thread, libprocess's included, inherits the mask set here.
  const sigset_t signals = terminationSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  HostFlags flags;
  const Option<int> stop = tools::loadCommandLine(&flags, argc, argv);
  if (stop.isSome()) {
    return stop.get();
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

  // Mesos's own realm names; every endpoint of this host is in one realm.
  const std::string realm = "mesos-" + flags.role + "-readwrite";

  const Option<std::string> name =
    chosen<Authenticator>(flags.http_authenticator);
  if (name.isNone()) {
    std::cerr << "No HttpAuthenticator module is configured" << std::endl;
    return 1;
  }

  Try<Authenticator*> authenticator =
    ModuleManager::create<Authenticator>(name.get());
  if (authenticator.isError()) {
    std::cerr << authenticator.error() << std::endl;
    return 1;
  }

  process::http::authentication::setAuthenticator(
      realm, process::Owned<Authenticator>(authenticator.get()))
    .await();

  const Option<std::string> authorizerName =
    chosen<mesos::Authorizer>(flags.authorizer);

  // Null without an authorizer.
  process::Owned<mesos::Authorizer> authorizer;
  if (authorizerName.isSome()) {
    Try<mesos::Authorizer*> created =
      ModuleManager::create<mesos::Authorizer>(authorizerName.get());
    if (created.isError()) {
      std::cerr << created.error() << std::endl;
      return 1;
    }
    authorizer = process::Owned<mesos::Authorizer>(created.get());
  }

  ovra_host::HostProcess host(
      flags.role,
      realm,
      authorizer.get() != nullptr ? Option<mesos::Authorizer*>(authorizer.get())
                                  : None());
  process::spawn(host);

  std::cout << "Listening on " << process::address() << std::endl;
  LOG(INFO) << "Serving /" << flags.role << "/state, /" << flags.role
            << "/flags and /" << flags.role << "/authorize (authenticated by '"
            << name.get() << "', "
            << (authorizerName.isSome()
                  ? "authorized by '" + authorizerName.get() + "'"
                  : std::string("not authorized"))
            << ") and /" << flags.role << "/health";

  int signal = 0;
  sigwait(&signals, &signal);
  LOG(INFO) << "Stopping on signal " << signal;

  process::terminate(host);
  process::wait(host);
  process::http::authentication::unsetAuthenticator(realm).await();
  return 0;
}
