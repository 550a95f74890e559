#include "version.hpp"

#include <string>
#include <vector>

#include <stout/error.hpp>
#include <stout/numify.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

namespace mesos {
namespace modules {

Try<Version> Version::parse(const std::string& s)
{
  const size_t maxComponents = 3;

  const std::vector<std::string> split =
    strings::split(strings::split(s, "-")[0], ".");

  if (split.size() > maxComponents) {
    return Error(
        "Version string has " + stringify(split.size()) + " components; "
        "maximum " + stringify(maxComponents) + " components allowed");
  }

  int components[maxComponents] = {0, 0, 0};
  for (size_t i = 0; i < split.size(); i++) {
    Try<int> component = numify<int>(split[i]);
    if (component.isError()) {
      return Error(
          "Invalid version component '" + split[i] + "': " +
          component.error());
    }
    components[i] = component.get();
  }

  return Version(components[0], components[1], components[2]);
}

} // namespace modules {
} // namespace mesos {
