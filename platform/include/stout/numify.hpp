#ifndef __STOUT_NUMIFY_HPP__
#define __STOUT_NUMIFY_HPP__

#include <limits>
#include <sstream>
#include <string>
#include <type_traits>

#include <boost/lexical_cast.hpp>

#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>
#include <stout/try.hpp>

// Converts text to a number of type T. The whole text must be the number:
// no blanks. Integers may also be written in hexadecimal with "0x" or
// "-0x"; a negative value wraps for unsigned T.
template <typename T>
Try<T> numify(const std::string& s)
{
  if constexpr (std::is_unsigned<T>::value &&
                sizeof(T) < sizeof(unsigned int)) {
    // Boost's conversion to an unsigned type narrower than int multiplies
    // in int, which overflows (undefined behaviour) on long digit strings;
    // the value is read as an unsigned int and its range checked instead,
    // a negative value wrapping as it would in T.
    Try<unsigned int> wide = numify<unsigned int>(s);
    if (wide.isSome()) {
      const bool negative = !s.empty() && s[0] == '-';
      const unsigned int magnitude = negative ? 0u - wide.get() : wide.get();
      if (magnitude <= std::numeric_limits<T>::max()) {
        return static_cast<T>(wide.get());
      }
    }
    return Error("Failed to convert '" + s + "' to number");
  }

  try {
    return boost::lexical_cast<T>(s);
  } catch (const boost::bad_lexical_cast&) {
    // lexical_cast does not read hexadecimal, so integers with a "0x"
    // prefix are read by a stream; hexadecimal floating point is refused.
    auto startsWith = [&s](const char* prefix) {
      return s.compare(0, std::string(prefix).size(), prefix) == 0;
    };

    const bool negative = startsWith("-0x") || startsWith("-0X");
    if ((negative || startsWith("0x") || startsWith("0X")) &&
        s.find('.') == std::string::npos && s.find('p') == std::string::npos) {
      T result{};
      std::stringstream stream;
      stream << std::hex << (negative ? s.substr(1) : s);
      stream >> result;
      if (!stream.fail() && stream.eof()) {
        if (negative) {
          result = static_cast<T>(-result);
        }
        return result;
      }
    }
  }

  return Error("Failed to convert '" + s + "' to number");
}


template <typename T>
Try<T> numify(const char* s)
{
  return numify<T>(std::string(s));
}


// None stays None; text is converted as above.
template <typename T>
Result<T> numify(const Option<std::string>& s)
{
  if (s.isNone()) {
    return None();
  }

  Try<T> t = numify<T>(s.get());
  if (t.isError()) {
    return Error(t.error());
  }

  return t.get();
}

#endif // __STOUT_NUMIFY_HPP__
