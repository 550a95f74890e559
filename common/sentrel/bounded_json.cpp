#include "common/sentrel/bounded_json.hpp"

#include <string.h>

#include <stout/stringify.hpp>

namespace mesos {
namespace sentrel {

Option<Error> checkJsonNesting(const std::string& text, size_t limit)
{
  const char* next = text.data();
  const char* const end = next + text.size();
  size_t depth = 0;

  while (next < end) {
    switch (*next++) {
      case '[':
      case '{':
        if (++depth > limit) {
          return Error("JSON nests deeper than " + stringify(limit) + " levels");
        }
        break;
      case ']':
      case '}':
        // Unbalanced closers are the parser's to reject.
        if (depth > 0) {
          --depth;
        }
        break;
      case '"':
        // To the closing quote, over escaped characters; an unterminated
        // string ends the text.
        while (next < end) {
          const char* stop = static_cast<const char*>(
              memchr(next, '"', static_cast<size_t>(end - next)));
          if (stop == nullptr) {
            return None();
          }
          // The quote closes the string unless an odd run of backslashes
          // precedes it.
          size_t backslashes = 0;
          for (const char* p = stop; p > next && p[-1] == '\\'; --p) {
            ++backslashes;
          }
          next = stop + 1;
          if (backslashes % 2 == 0) {
            break;
          }
        }
        break;
      default:
        break;
    }
  }

  return None();
}

} // namespace sentrel {
} // namespace mesos {
