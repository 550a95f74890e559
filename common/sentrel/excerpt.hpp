#ifndef __COMMON_SENTREL_EXCERPT_HPP__
#define __COMMON_SENTREL_EXCERPT_HPP__

// What of a remote party's text (an error body, a document that failed to
// parse) goes into the modules' messages and logs: enough to tell what went
// wrong, never the whole of an answer that can be arbitrarily large.

#include <cstddef>
#include <string>

namespace mesos {
namespace sentrel {

constexpr size_t EXCERPT_LIMIT = 4096;

// `text` as it is when it holds at most `limit` bytes; else its first
// `limit` bytes followed by "... (<size> bytes in all)".
std::string excerpt(const std::string& text, size_t limit = EXCERPT_LIMIT);

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_EXCERPT_HPP__
