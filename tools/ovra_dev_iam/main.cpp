// ovra_dev_iam: the development IAM service as a program. Serves the public
// key set, the service-account login and the user permissions on
// 127.0.0.1, configured from a JSON file (see config.hpp).

#include <stdint.h>

#include <iostream>
#include <string>

#include <glog/logging.h>

#include <process/future.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/flags.hpp>
#include <stout/os.hpp>
#include <stout/stringify.hpp>

#include "tools/command_line.hpp"
#include "tools/ovra_dev_iam/core/config.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

namespace {

class Flags : public virtual flags::FlagsBase
{
public:
  Flags()
  {
    add(&Flags::config,
        "config",
        "Path of the JSON configuration: the service's key, its users and\n"
        "their permissions, its service accounts, the token lifetime.\n"
        "Without it the service has a fresh key and knows nobody.");

    add(&Flags::users,
        "users",
        "Path of a JSON object of uid to permissions document: users\n"
        "served beside those of the configuration, and instead of any of\n"
        "the same uid there.");

    add(&Flags::port,
        "port",
        "Port to listen on, on 127.0.0.1; 0 picks a free one.",
        static_cast<uint16_t>(8101));
  }

  Option<std::string> config;
  Option<std::string> users;
  uint16_t port;
};

} // namespace {


int main(int argc, char** argv)
{
  Flags flags;
  const Option<int> stop = tools::loadCommandLine(&flags, argc, argv);
  if (stop.isSome()) {
    return stop.get();
  }

  Try<dev_iam::Config> config = flags.config.isSome()
    ? dev_iam::readConfig(flags.config.get())
    : dev_iam::parseConfig("{}");

  if (config.isError()) {
    std::cerr << config.error() << std::endl;
    return 1;
  }

  if (flags.users.isSome()) {
    Try<dev_iam::Users> users = dev_iam::readUsers(flags.users.get());
    if (users.isError()) {
      std::cerr << users.error() << std::endl;
      return 1;
    }
    for (const auto& [uid, permissions] : users.get()) {
      config->users[uid] = permissions;
    }
  }

  // The service is for development only: it never listens beyond
  // loopback.
  os::setenv("LIBPROCESS_IP", "127.0.0.1");
  os::setenv("LIBPROCESS_PORT", stringify(flags.port));

  Try<process::Owned<dev_iam::DevIAM>> iam =
    dev_iam::DevIAM::start(config.get());
  if (iam.isError()) {
    std::cerr << iam.error() << std::endl;
    return 1;
  }

  std::cout << "Development IAM service listening on " << iam.get()->url()
            << std::endl;

  // Serves until the process is stopped.
  process::Future<Nothing>().await();
  return 0;
}
