#ifndef __MODULE_VERSION_HPP__
#define __MODULE_VERSION_HPP__

// A release version "<major>[.<minor>[.<patch>]]" with missing components
// zero; anything from the first '-' on (a label such as "-rc1") is ignored,
// as the module manager has always done when comparing a module's
// mesosVersion with ours.

#include <ostream>
#include <string>
#include <tuple>

#include <stout/try.hpp>

namespace mesos {
namespace modules {

struct Version
{
  static Try<Version> parse(const std::string& s);

  Version(int _majorVersion, int _minorVersion, int _patchVersion)
    : majorVersion(_majorVersion),
      minorVersion(_minorVersion),
      patchVersion(_patchVersion) {}

  bool operator==(const Version& that) const { return tie() == that.tie(); }
  bool operator!=(const Version& that) const { return tie() != that.tie(); }
  bool operator<(const Version& that) const { return tie() < that.tie(); }
  bool operator>(const Version& that) const { return tie() > that.tie(); }

  std::tuple<int, int, int> tie() const
  {
    return std::make_tuple(majorVersion, minorVersion, patchVersion);
  }

  int majorVersion;
  int minorVersion;
  int patchVersion;
};


// Always three components: "1.2" prints as "1.2.0".
inline std::ostream& operator<<(std::ostream& stream, const Version& version)
{
  return stream << version.majorVersion << "." << version.minorVersion << "."
                << version.patchVersion;
}

} // namespace modules {
} // namespace mesos {

#endif // __MODULE_VERSION_HPP__
