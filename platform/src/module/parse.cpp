#include "module/manager.hpp"

#include <string>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/protobuf.hpp>

#include <stout/flags/fetch.hpp>

namespace mesos {
namespace modules {

Try<Modules> parseModules(const std::string& value)
{
  // As for any JSON flag: "file://<path>" or an absolute path names a file.
  Try<JSON::Object> json = flags::fetch<JSON::Object>(value);
  if (json.isError()) {
    return Error(json.error());
  }

  return protobuf::parse<Modules>(json.get());
}

} // namespace modules {
} // namespace mesos {
