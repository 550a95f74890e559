#include "common/sentrel/excerpt.hpp"

namespace mesos {
namespace sentrel {

std::string excerpt(const std::string& text)
{
  if (text.size() <= EXCERPT_LIMIT) {
    return text;
  }

  return text.substr(0, EXCERPT_LIMIT) + "... (" + std::to_string(text.size()) +
         " bytes in all)";
}

} // namespace sentrel {
} // namespace mesos {
