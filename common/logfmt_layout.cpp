#include "common/logfmt_layout.hpp"

#include <array>
#include <string>
#include <unordered_map>

namespace corvanta {
namespace audit {

const char* const KEYS[FIELDS] = {
  "type", "timestamp", "authorizer", "uid", "action", "object", "result",
  "reason", "srcip", "srcport", "dstip", "dstport", "agent",
};


bool present(Field field, unsigned parts)
{
  switch (field) {
    case UID: return (parts & UID_PART) != 0;
    case REASON: return (parts & REASON_PART) != 0;
    case SRCIP:
    case SRCPORT: return (parts & SOURCE_PART) != 0;
    case DSTIP:
    case DSTPORT: return (parts & DESTINATION_PART) != 0;
    case AGENT: return (parts & AGENT_PART) != 0;
    default: return true;
  }
}


namespace {

// Records have always been written in the iteration order of a
// std::unordered_map<std::string, std::string> with a bucket hint of 10,
// filled in the order of `Field`. That order depends only on which keys
// are present, so it is read once per set of parts from such a map, and
// lines are then written straight in that order.
std::array<Layout, PARTS> layouts()
{
  std::array<Layout, PARTS> result;
  for (unsigned parts = 0; parts < PARTS; ++parts) {
    std::unordered_map<std::string, std::string> record(10);
    for (uint8_t field = 0; field < FIELDS; ++field) {
      if (present(static_cast<Field>(field), parts)) {
        record[KEYS[field]];
      }
    }

    Layout& layout = result[parts];
    for (const auto& entry : record) {
      for (uint8_t field = 0; field < FIELDS; ++field) {
        if (entry.first == KEYS[field]) {
          layout.fields[layout.count++] = static_cast<Field>(field);
          break;
        }
      }
    }
  }
  return result;
}

} // namespace {


const Layout& layout(unsigned parts)
{
  static const std::array<Layout, PARTS> table = layouts();
  return table[parts];
}

} // namespace audit {
} // namespace corvanta {
