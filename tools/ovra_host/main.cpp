// ovra_host: plays the Mesos master or agent for the library's modules. It
// loads the modules that a Mesos modules configuration names, through the
// same loader and checks as Mesos's module manager, and serves endpoints on
// loopback that require authentication through the loaded HTTP
// authenticator, as Mesos's HTTP server does, and authorization through the
// loaded authorizer, as Mesos authorizes its endpoints.
//
//   ovra_host --modules=file://examples/modules.json --describe
//   ovra_host --modules=file://examples/master.json --role=master
//   ovra_host --modules=file://examples/agent.json --role=agent
//     --master=master@127.0.0.1:5050 --principal=<service account uid>
//   ovra_host --modules=file://examples/agent.json --role=agent
//     --launch=file://task.json
//
// It listens on LIBPROCESS_IP:LIBPROCESS_PORT (by default 127.0.0.1 and a
// free port), prints "Listening on <ip>:<port>" and runs until SIGINT or
// SIGTERM. As a master with an Authenticator module it also authenticates
// classic (message-based) clients. Given --master, it is such a client
// instead: it authenticates to that master with the Authenticatee module,
// prints the outcome and exits, 0 when accepted and 1 otherwise. Given
// --launch, it is an agent that launches one container with the loaded
// isolators and hooks (see container_launch.hpp), prints its status and
// exits, 0 when the task finished and 1 otherwise.

#include <signal.h>
#include <stdlib.h>
#include <time.h>

#include <iostream>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <mesos/authentication/authenticatee.hpp>
#include <mesos/authentication/authenticator.hpp>
#include <mesos/authorizer/authorizer.hpp>
#include <mesos/mesos.hpp>

#include <mesos/module/authenticatee.hpp>
#include <mesos/module/authenticator.hpp>
#include <mesos/module/authorizer.hpp>
#include <mesos/module/hook.hpp>
#include <mesos/module/isolator.hpp>
#include <mesos/module/http_authenticator.hpp>

#include <process/authenticator.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/json.hpp>
#include <stout/stringify.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "tools/command_line.hpp"

#include "tools/ovra_host/classic_client.hpp"
#include "tools/ovra_host/container_launch.hpp"
#include "tools/ovra_host/host_process.hpp"
#include "tools/ovra_host/loaded_modules.hpp"
#include "tools/ovra_host/module_creation.hpp"

using ovra_host::LoadedModules;
using ovra_host::ModuleDescriptor;

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

    add(&HostFlags::authenticator,
        "authenticator",
        "The loaded Authenticator module with which a master authenticates\n"
        "classic clients; by default the first one of the modules\n"
        "configuration. Without any, clients are told that no\n"
        "authenticator is loaded.");

    add(&HostFlags::master,
        "master",
        "The UPID of a master (master@<ip>:<port>) to authenticate to, as\n"
        "an agent does, with the Authenticatee module; the host then exits\n"
        "with the outcome instead of serving.");

    add(&HostFlags::authenticatee,
        "authenticatee",
        "The loaded Authenticatee module used with --master; by default\n"
        "the first one of the modules configuration.");

    add(&HostFlags::principal,
        "principal",
        "The principal of the credential presented with --master: the uid\n"
        "of the Authenticatee's service account.");

    add(&HostFlags::authentication_attempts,
        "authentication_attempts",
        "How many failed attempts to authenticate with --master before\n"
        "giving up; 0 retries for ever, as an agent does.",
        0);

    add(&HostFlags::launch,
        "launch",
        "A container to launch, as an agent (JSON text, or file:// and a\n"
        "path): {\"containerizer\": \"mesos\"|\"docker\", \"task\": <TaskInfo>,\n"
        "\"executor\": <ExecutorInfo>}. The host prepares it with every loaded\n"
        "Isolator (mesos) or Hook (docker), runs its command in a sandbox\n"
        "under --work_dir, prints its status and exits.");

    add(&HostFlags::work_dir,
        "work_dir",
        "Where the agent makes its containers' sandboxes.",
        "/tmp/ovra_host");

    add(&HostFlags::launch_timeout,
        "launch_timeout",
        "How long a launched command may run before it is killed.",
        Seconds(60));
  }

  Option<std::string> modules;
  bool describe;
  std::string role;
  Option<std::string> http_authenticator;
  Option<std::string> authorizer;
  Option<std::string> authenticator;
  Option<std::string> master;
  Option<std::string> authenticatee;
  Option<std::string> principal;
  size_t authentication_attempts;
  Option<std::string> launch;
  std::string work_dir;
  Duration launch_timeout;
};


sigset_t terminationSignals()
{
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}


void printDescriptor(const ModuleDescriptor& info)
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

// Authenticates to --master as an agent does; the exit code says how it
// ended.
int authenticateToMaster(const HostFlags& flags, const LoadedModules& modules)
{
  const process::UPID master(flags.master.get());
  if (!master) {
    std::cerr << "Invalid --master '" << flags.master.get()
              << "': expected master@<ip>:<port>" << std::endl;
    return 1;
  }

  const Option<std::string> name =
    modules.chosen<mesos::Authenticatee>(flags.authenticatee);
  if (name.isNone()) {
    std::cerr << "No Authenticatee module is configured" << std::endl;
    return 1;
  }

  if (flags.principal.isNone()) {
    std::cerr << "--master needs --principal" << std::endl;
    return 1;
  }

  mesos::Credential credential;
  credential.set_principal(flags.principal.get());

  ovra_host::ClassicClientProcess client(
      modules, name.get(), master, credential, flags.authentication_attempts);
  process::spawn(client);

  const process::Future<bool> outcome = client.outcome();
  outcome.await();

  int code = 1;
  if (outcome.isReady() && outcome.get()) {
    std::cout << "Authenticated with master " << master << " as '"
              << credential.principal() << "'" << std::endl;
    code = 0;
  } else if (outcome.isReady()) {
    std::cout << "Master " << master << " refused authentication" << std::endl;
  } else {
    std::cout << "Failed to authenticate with master " << master << ": "
              << (outcome.isFailed() ? outcome.failure() : "discarded")
              << std::endl;
  }

  process::terminate(client);
  process::wait(client);
  return code;
}

// Every loaded module of kind T, created in load order.
template <typename T>
Try<std::vector<T*>> createAll(const LoadedModules& loaded)
{
  std::vector<T*> modules;
  for (const std::string& name : loaded.ofKind<T>()) {
    Try<T*> module = ovra_host::createModule<T>(loaded, name);
    if (module.isError()) {
      return Error(module.error());
    }
    modules.push_back(module.get());
  }
  return modules;
}


// Launches the container of --launch as an agent; the exit code says how
// it ended.
int launchContainer(const HostFlags& flags, const LoadedModules& modules)
{
  Try<ovra_host::LaunchRequest> request =
    ovra_host::parseLaunchRequest(flags.launch.get());
  if (request.isError()) {
    std::cerr << "Invalid --launch: " << request.error() << std::endl;
    return 1;
  }

  ovra_host::Agent agent;
  agent.id = "agent-1";
  agent.pid = "slave(1)@" + stringify(process::address());
  agent.workDir = flags.work_dir;
  agent.commandLimit = flags.launch_timeout;

  Try<std::vector<mesos::slave::Isolator*>> isolators =
    createAll<mesos::slave::Isolator>(modules);
  Try<std::vector<mesos::Hook*>> hooks = createAll<mesos::Hook>(modules);
  if (isolators.isError() || hooks.isError()) {
    std::cerr << (isolators.isError() ? isolators.error() : hooks.error())
              << std::endl;
    return 1;
  }
  agent.isolators = isolators.get();
  agent.hooks = hooks.get();

  // The agent serves its endpoints while the container runs, so that the
  // task can reach it (over TLS when SSL is on).
  ovra_host::HostProcess host("agent", "mesos-agent-readwrite", None());
  process::spawn(host);

  const ovra_host::LaunchOutcome outcome = ovra_host::launch(agent, request.get());

  process::terminate(host);
  process::wait(host);

  // The environment's names only: its values may be secrets.
  JSON::Array names;
  for (const auto& entry : outcome.environment) {
    names.values.push_back(entry.first);
  }

  JSON::Object status;
  status.values["state"] = outcome.state;
  if (outcome.reason.isSome()) {
    status.values["reason"] = outcome.reason.get();
  }
  if (outcome.message.isSome()) {
    status.values["message"] = outcome.message.get();
  }
  if (outcome.exitCode.isSome()) {
    status.values["exit_code"] = outcome.exitCode.get();
  }
  status.values["sandbox"] = outcome.sandbox;
  status.values["environment"] = names;
  status.values["stdout"] = outcome.stdout;
  std::cout << stringify(status) << std::endl;

  for (mesos::slave::Isolator* isolator : agent.isolators) {
    delete isolator;
  }
  for (mesos::Hook* hook : agent.hooks) {
    delete hook;
  }

  return outcome.state == "TASK_FINISHED" ? 0 : 1;
}

// Loads the local time zone once, before any thread starts or any line is
// logged. glog converts every message's time to local time and back; with
// TZ unset, glibc stats /etc/localtime again for each conversion, while a
// TZ naming that same file is loaded once and only compared afterwards.
// The zone, and so every prefix, stays what it was.
void setUpTimeZone()
{
  if (::getenv("TZ") == nullptr) {
    ::setenv("TZ", ":/etc/localtime", 0);
  }
  ::tzset();
}

} // namespace {


int main(int argc, char** argv)
{
  setUpTimeZone();

  // Loopback unless told otherwise: Mesos's libprocess would bind every
  // address and advertise the host name's.
  ::setenv("LIBPROCESS_IP", "127.0.0.1", 0);

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

  Try<mesos::Modules> manifest = LoadedModules::parse(flags.modules.get());
  if (manifest.isError()) {
    std::cerr << "Invalid --modules: " << manifest.error() << std::endl;
    return 1;
  }

  Try<LoadedModules> modules = LoadedModules::load(manifest.get());
  if (modules.isError()) {
    std::cerr << "Failed to load modules: " << modules.error() << std::endl;
    return 1;
  }

  if (flags.describe) {
    for (const std::string& name : modules->names()) {
      Try<ModuleDescriptor> info = modules->describe(name);
      if (info.isError()) {
        std::cerr << info.error() << std::endl;
        return 1;
      }
      printDescriptor(info.get());
    }
    return 0;
  }

  if (flags.master.isSome()) {
    return authenticateToMaster(flags, modules.get());
  }

  if (flags.launch.isSome()) {
    return launchContainer(flags, modules.get());
  }

  // Mesos's own realm names; every endpoint of this host is in one realm.
  const std::string realm = "mesos-" + flags.role + "-readwrite";

  const Option<std::string> name =
    modules->chosen<Authenticator>(flags.http_authenticator);
  if (name.isNone()) {
    std::cerr << "No HttpAuthenticator module is configured" << std::endl;
    return 1;
  }

  Try<Authenticator*> authenticator =
    ovra_host::createModule<Authenticator>(modules.get(), name.get());
  if (authenticator.isError()) {
    std::cerr << authenticator.error() << std::endl;
    return 1;
  }

  process::http::authentication::setAuthenticator(
      realm, process::Owned<Authenticator>(authenticator.get()))
    .await();

  const Option<std::string> authorizerName =
    modules->chosen<mesos::Authorizer>(flags.authorizer);

  // Null without an authorizer.
  process::Owned<mesos::Authorizer> authorizer;
  if (authorizerName.isSome()) {
    Try<mesos::Authorizer*> created =
      ovra_host::createModule<mesos::Authorizer>(
          modules.get(), authorizerName.get());
    if (created.isError()) {
      std::cerr << created.error() << std::endl;
      return 1;
    }
    authorizer = process::Owned<mesos::Authorizer>(created.get());
  }

  // Null without a classic authenticator, and on agents.
  process::Owned<mesos::Authenticator> classic;
  const Option<std::string> classicName =
    modules->chosen<mesos::Authenticator>(flags.authenticator);
  if (flags.role == "master" && classicName.isSome()) {
    Try<mesos::Authenticator*> created =
      ovra_host::createModule<mesos::Authenticator>(
          modules.get(), classicName.get());
    if (created.isError()) {
      std::cerr << created.error() << std::endl;
      return 1;
    }
    classic = process::Owned<mesos::Authenticator>(created.get());

    Try<Nothing> initialized = classic->initialize(None());
    if (initialized.isError()) {
      std::cerr << "Failed to initialize authenticator '" << classicName.get()
                << "': " << initialized.error() << std::endl;
      return 1;
    }
    LOG(INFO) << "Authenticating classic clients with '" << classicName.get()
              << "'";
  }

  ovra_host::HostProcess host(
      flags.role,
      realm,
      authorizer.get() != nullptr ? Option<mesos::Authorizer*>(authorizer.get())
                                  : None(),
      classic.get() != nullptr ? Option<mesos::Authenticator*>(classic.get())
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
