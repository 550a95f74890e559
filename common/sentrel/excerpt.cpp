#include "common/sentrel/excerpt.hpp"

namespace mesos {
namespace sentrel {

std::string excerpt(const std::string& text, size_t limit)
{
  if (text.size() <= limit) {
    return text;
  }

  return text.substr(0, limit) + "... (" + std::to_string(text.size()) +
         " bytes in all)";
}

} // namespace sentrel {
} // namespace mesos {
