#include "ssl_exec/flags.hpp"

namespace corvanta {
namespace ovra {
namespace ssl_executor {

Flags::Flags()
{
  add(&Flags::ca_file, "ca_file", "Path to certifcate authority (CA) file.");

  add(&Flags::cert_file, "cert_file", "Path to certificate.");

  add(&Flags::key_file, "key_file", "Path to private key.");

  add(&Flags::sandbox_subfolder,
      "sandbox_subfolder",
      "Sandbox subfolder for SSL assets.",
      ".ssl");

  add(&Flags::executor_environment,
      "executor_environment",
      "JSON string representing the environment variables that should be "
      "passed to the executor.");
}

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {
