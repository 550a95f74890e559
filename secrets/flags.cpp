#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

Flags::Flags()
{
  add(&Flags::store_url,
      "store_url",
      "URL where the Secrets Store API can be accessed.");

  add(&Flags::special_secret_protobuf_label,
      "special_secret_protobuf_label",
      "Name of the label containing the protobuf secrets\n"
      "object that tells the hook what to fetch.");

  add(&Flags::special_secret_space_label,
      "special_secret_space_label",
      "Name of the environment variable (inside a TaskInfo or ExecutorInfo)\n"
      "containing the \"space\" that the requested secret(s) reside in.\n"
      "This variable should be a pre-validated path-like string.");
}

} // namespace secrets {
} // namespace mesos {
