#ifndef __COMMON_SENTREL_BOUNDED_JSON_HPP__
#define __COMMON_SENTREL_BOUNDED_JSON_HPP__

// JSON that arrives from outside (tokens, IAM and secret store answers,
// task labels, flags), parsed only once its nesting is known to be
// bounded. stout's parser (picojson in Mesos 1.2.0) recurses once per
// level of arrays and objects with no limit of its own, so a few tens of
// kilobytes of '[' overflow the stack of the thread that parses them.
// Pure functions, safe on any thread.

#include <stddef.h>

#include <string>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

#include "common/sentrel/excerpt.hpp"

namespace mesos {
namespace sentrel {

// Picojson's own default bound.
constexpr size_t MAX_JSON_NESTING = 100;

// How much of the parser's message a failure keeps: stout quotes the text
// from where it stopped to the end of that line, which may be all of a
// document of megabytes.
constexpr size_t MAX_JSON_ERROR = 256;

// None when arrays and objects, together, nest at most `limit` levels deep
// in `text`; else the error "JSON nests deeper than <limit> levels". One
// pass over the text, skipping the contents of strings; nothing else of its
// form is judged here, that is the parser's part.
Option<Error> checkJsonNesting(
    const std::string& text,
    size_t limit = MAX_JSON_NESTING);

// JSON::parse<T>(text) once checkJsonNesting(text) has passed; the error
// of whichever fails, the parser's cut to an excerpt of MAX_JSON_ERROR
// bytes.
template <typename T>
Try<T> parseJson(const std::string& text)
{
  const Option<Error> nesting = checkJsonNesting(text);
  if (nesting.isSome()) {
    return nesting.get();
  }

  Try<T> parsed = JSON::parse<T>(text);
  if (parsed.isError() && parsed.error().size() > MAX_JSON_ERROR) {
    return Error(excerpt(parsed.error(), MAX_JSON_ERROR));
  }
  return parsed;
}

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_BOUNDED_JSON_HPP__
