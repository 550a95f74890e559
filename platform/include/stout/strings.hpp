#ifndef __STOUT_STRINGS_HPP__
#define __STOUT_STRINGS_HPP__

#include <ctype.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

// Byte-wise string helpers.
namespace strings {

const std::string WHITESPACE = " \t\n\r";

// Where remove() and trim() act: at the front, at the back, or (for remove)
// everywhere and (for trim) at both ends.
enum Mode
{
  PREFIX,
  SUFFIX,
  ANY
};


inline bool startsWith(const std::string& s, const std::string& prefix)
{
  return s.size() >= prefix.size() &&
         s.compare(0, prefix.size(), prefix) == 0;
}


inline bool startsWith(const std::string& s, char c)
{
  return !s.empty() && s.front() == c;
}


inline bool endsWith(const std::string& s, const std::string& suffix)
{
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}


inline bool endsWith(const std::string& s, char c)
{
  return !s.empty() && s.back() == c;
}


inline bool contains(const std::string& s, const std::string& substring)
{
  return s.find(substring) != std::string::npos;
}


// PREFIX and SUFFIX remove one occurrence at that end; ANY removes every
// occurrence. An empty `substring` leaves `from` unchanged.
inline std::string remove(
    const std::string& from,
    const std::string& substring,
    Mode mode = ANY)
{
  if (substring.empty()) {
    return from;
  }

  switch (mode) {
    case PREFIX:
      return startsWith(from, substring) ? from.substr(substring.size()) : from;
    case SUFFIX:
      return endsWith(from, substring)
        ? from.substr(0, from.size() - substring.size())
        : from;
    case ANY:
      break;
  }

  std::string result = from;
  size_t index;
  while ((index = result.find(substring)) != std::string::npos) {
    result.erase(index, substring.size());
  }
  return result;
}


// Strips the characters in `chars` from the front (PREFIX), the back
// (SUFFIX) or both ends (ANY).
inline std::string trim(
    const std::string& from,
    Mode mode = ANY,
    const std::string& chars = WHITESPACE)
{
  size_t start = 0;
  size_t end = from.size();

  if (mode == PREFIX || mode == ANY) {
    start = from.find_first_not_of(chars);
    if (start == std::string::npos) {
      return "";
    }
  }

  if (mode == SUFFIX || mode == ANY) {
    const size_t last = from.find_last_not_of(chars);
    if (last == std::string::npos) {
      return "";
    }
    end = last + 1;
  }

  return from.substr(start, end - start);
}


inline std::string trim(const std::string& from, const std::string& chars)
{
  return trim(from, ANY, chars);
}


// Replaces every occurrence of `from`, left to right; the search resumes
// after the inserted text, so `to` may contain `from`.
inline std::string replace(
    const std::string& s,
    const std::string& from,
    const std::string& to)
{
  if (from.empty()) {
    return s;
  }

  std::string result = s;
  size_t index = 0;
  while ((index = result.find(from, index)) != std::string::npos) {
    result.replace(index, from.size(), to);
    index += to.size();
  }
  return result;
}


namespace internal {

// The first character of `s` from `offset` on that is among `delims`.
// A single delimiter, the common case, is one scan rather than a lookup
// in `delims` for every character.
inline size_t findDelimiter(
    const std::string& s,
    const std::string& delims,
    size_t offset)
{
  return delims.size() == 1
    ? s.find(delims[0], offset)
    : s.find_first_of(delims, offset);
}

} // namespace internal {


// Splits at any character of `delims`, dropping empty tokens. With
// `maxTokens` the last token holds the unsplit rest (leading delimiters
// skipped).
inline std::vector<std::string> tokenize(
    const std::string& s,
    const std::string& delims,
    const Option<size_t>& maxTokens = None())
{
  std::vector<std::string> tokens;
  if (maxTokens.isSome() && maxTokens.get() == 0) {
    return tokens;
  }

  size_t offset = 0;
  while (true) {
    const size_t start = s.find_first_not_of(delims, offset);
    if (start == std::string::npos) {
      break;
    }

    const size_t end = internal::findDelimiter(s, delims, start);
    if (end == std::string::npos ||
        (maxTokens.isSome() && tokens.size() + 1 == maxTokens.get())) {
      tokens.push_back(s.substr(start));
      break;
    }

    tokens.push_back(s.substr(start, end - start));
    offset = end;
  }

  return tokens;
}


// Splits at every character of `delims`, keeping empty tokens: n
// delimiters give n + 1 tokens. With `maxTokens` the last token holds the
// unsplit rest.
inline std::vector<std::string> split(
    const std::string& s,
    const std::string& delims,
    const Option<size_t>& maxTokens = None())
{
  std::vector<std::string> tokens;
  if (maxTokens.isSome() && maxTokens.get() == 0) {
    return tokens;
  }

  size_t offset = 0;
  while (true) {
    const size_t next = internal::findDelimiter(s, delims, offset);
    if (next == std::string::npos ||
        (maxTokens.isSome() && tokens.size() + 1 == maxTokens.get())) {
      tokens.push_back(s.substr(offset));
      break;
    }

    tokens.push_back(s.substr(offset, next - offset));
    offset = next + 1;
  }

  return tokens;
}


// "a=1,b=2" with delims1 "," and delims2 "=" gives {a: [1], b: [2]};
// entries that are not exactly two tokens are dropped.
inline std::map<std::string, std::vector<std::string>> pairs(
    const std::string& s,
    const std::string& delims1,
    const std::string& delims2)
{
  std::map<std::string, std::vector<std::string>> result;
  for (const std::string& token : tokenize(s, delims1)) {
    const std::vector<std::string> pair = tokenize(token, delims2);
    if (pair.size() == 2) {
      result[pair[0]].push_back(pair[1]);
    }
  }
  return result;
}


namespace internal {

inline void append(std::stringstream& stream, const std::string& value)
{
  stream << value;
}


inline void append(std::stringstream& stream, const char* value)
{
  stream << value;
}


template <typename T>
void append(std::stringstream& stream, const T& value)
{
  stream << ::stringify(value);
}

} // namespace internal


// Writes the arguments, stringified, with `separator` between them.
template <typename Head, typename... Tail>
std::stringstream& join(
    std::stringstream& stream,
    const std::string& separator,
    const Head& head,
    const Tail&... tail)
{
  internal::append(stream, head);
  ((stream << separator, internal::append(stream, tail)), ...);
  return stream;
}


template <typename Head1, typename Head2, typename... Tail>
std::string join(
    const std::string& separator,
    const Head1& head1,
    const Head2& head2,
    const Tail&... tail)
{
  std::stringstream stream;
  join(stream, separator, head1, head2, tail...);
  return stream.str();
}


inline std::string join(const std::string&, const std::string& s)
{
  return s;
}


// The elements of a container, stringified, with `separator` between them.
template <typename Iterable>
std::string join(const std::string& separator, const Iterable& iterable)
{
  std::string result;
  for (auto it = iterable.begin(); it != iterable.end(); ++it) {
    if (it != iterable.begin()) {
      result += separator;
    }
    result += stringify(*it);
  }
  return result;
}


// Whether every `closeBracket` has an earlier `openBracket` and the counts
// are equal.
inline bool checkBracketsMatching(
    const std::string& s,
    const char openBracket,
    const char closeBracket)
{
  int count = 0;
  for (char c : s) {
    if (c == openBracket) {
      count++;
    } else if (c == closeBracket) {
      count--;
    }
    if (count < 0) {
      return false;
    }
  }
  return count == 0;
}


inline std::string lower(const std::string& s)
{
  std::string result = s;
  std::transform(result.begin(), result.end(), result.begin(), [](char c) {
    return static_cast<char>(::tolower(static_cast<unsigned char>(c)));
  });
  return result;
}


inline std::string upper(const std::string& s)
{
  std::string result = s;
  std::transform(result.begin(), result.end(), result.begin(), [](char c) {
    return static_cast<char>(::toupper(static_cast<unsigned char>(c)));
  });
  return result;
}

} // namespace strings

#endif // __STOUT_STRINGS_HPP__
