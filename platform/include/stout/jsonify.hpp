#ifndef __STOUT_JSONIFY_HPP__
#define __STOUT_JSONIFY_HPP__

#include <locale.h>
#include <stdio.h>

#include <charconv>
#include <functional>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

// JSON text of plain values: jsonify(x) streams or converts to a string.
//
//   std::string text = jsonify(JSON::Object{...});   // same as stringify
//   stream << jsonify("a/b");                         // "a\/b"
//
// Strings, booleans, numbers and the JSON:: types (from stout/json.hpp)
// are supported. The result refers to its argument: use it right away.

namespace JSON {

class Proxy;

namespace internal {

// Writes `value` as a JSON string: quotes, backslashes and '/' are escaped,
// so are the control characters (\b \f \n \r \t by name, the others and
// 0x7f as \u00xx); bytes from 0x80 up pass through unchanged.
inline void writeString(std::ostream& stream, const std::string& value)
{
  stream << '"';
  for (char c : value) {
    switch (c) {
      case '"': stream << "\\\""; break;
      case '\\': stream << "\\\\"; break;
      case '/': stream << "\\/"; break;
      case '\b': stream << "\\b"; break;
      case '\f': stream << "\\f"; break;
      case '\n': stream << "\\n"; break;
      case '\r': stream << "\\r"; break;
      case '\t': stream << "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char buffer[7];
          snprintf(buffer, sizeof(buffer), "\\u%04x", c & 0xff);
          stream.write(buffer, 6);
        } else {
          stream << c;
        }
        break;
    }
  }
  stream << '"';
}


// Integers print plainly, independent of any locale.
template <typename T>
void writeInteger(std::ostream& stream, T value)
{
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  stream.write(buffer, result.ptr - buffer);
}


// Doubles print with 15 significant digits ("%#.15g" in the C locale)
// minus the trailing '0' characters of the text, plus one "0" if the text
// then ends in '.': 1.0 -> "1.0", 0.5 -> "0.5". Exponent forms lose their
// trailing zeros as well (1e20 -> "1.00000000000000e+2"), as Mesos prints.
inline void writeDouble(std::ostream& stream, double value)
{
  // A per-thread switch to the C locale, so that no locale's decimal comma
  // ends up in the JSON.
  static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  const locale_t original = cLocale != nullptr ? uselocale(cLocale) : nullptr;

  char buffer[64];
  int size = snprintf(
      buffer,
      sizeof(buffer),
      "%#.*g",
      std::numeric_limits<double>::digits10,
      value);

  if (original != nullptr) {
    uselocale(original);
  }

  if (size <= 0) {
    return;
  }
  if (size >= static_cast<int>(sizeof(buffer))) {
    size = sizeof(buffer) - 1;
  }

  int back = size - 1;
  while (back > 0 && buffer[back] == '0') {
    --back;
  }

  stream.write(buffer, back + 1);
  if (buffer[back] == '.') {
    stream << '0';
  }
}

} // namespace internal


// The JSON writers for plain values; the JSON:: types add theirs in json.hpp.
inline void json(std::ostream& stream, const std::string& value)
{
  internal::writeString(stream, value);
}


inline void json(std::ostream& stream, const char* value)
{
  internal::writeString(stream, value);
}


inline void json(std::ostream& stream, bool value)
{
  stream << (value ? "true" : "false");
}


template <
    typename T,
    typename std::enable_if<
        std::is_integral<T>::value && !std::is_same<T, bool>::value,
        int>::type = 0>
void json(std::ostream& stream, T value)
{
  internal::writeInteger(stream, value);
}


template <
    typename T,
    typename std::enable_if<std::is_floating_point<T>::value, int>::type = 0>
void json(std::ostream& stream, T value)
{
  internal::writeDouble(stream, static_cast<double>(value));
}


class Proxy
{
public:
  operator std::string() &&
  {
    std::ostringstream stream;
    write_(stream);
    return stream.str();
  }

private:
  explicit Proxy(std::function<void(std::ostream&)> write)
    : write_(std::move(write)) {}

  std::function<void(std::ostream&)> write_;

  template <typename T>
  friend Proxy jsonify(const T&);

  friend std::ostream& operator<<(std::ostream& stream, Proxy&& that)
  {
    that.write_(stream);
    return stream;
  }
};


template <typename T>
Proxy jsonify(const T& value)
{
  return Proxy([&value](std::ostream& stream) { json(stream, value); });
}

} // namespace JSON

using JSON::jsonify;

#endif // __STOUT_JSONIFY_HPP__
