#ifndef __STOUT_BASE64_HPP__
#define __STOUT_BASE64_HPP__

#include <stdint.h>

#include <string>

#include <stout/error.hpp>
#include <stout/try.hpp>

// Standard base64 (RFC 4648 alphabet "A-Z a-z 0-9 + /", '=' padding).
namespace base64 {

namespace internal {

const char ALPHABET[] =
  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of an alphabet character, or -1.
inline int sextet(unsigned char c)
{
  if (c >= 'A' && c <= 'Z') {
    return c - 'A';
  } else if (c >= 'a' && c <= 'z') {
    return c - 'a' + 26;
  } else if (c >= '0' && c <= '9') {
    return c - '0' + 52;
  } else if (c == '+') {
    return 62;
  } else if (c == '/') {
    return 63;
  }
  return -1;
}

} // namespace internal


// Always padded to a multiple of four characters.
inline std::string encode(const std::string& s)
{
  std::string result;
  result.reserve((s.size() + 2) / 3 * 4);

  size_t i = 0;
  for (; i + 3 <= s.size(); i += 3) {
    const uint32_t bits = (static_cast<unsigned char>(s[i]) << 16) |
                          (static_cast<unsigned char>(s[i + 1]) << 8) |
                          static_cast<unsigned char>(s[i + 2]);
    result += internal::ALPHABET[(bits >> 18) & 0x3f];
    result += internal::ALPHABET[(bits >> 12) & 0x3f];
    result += internal::ALPHABET[(bits >> 6) & 0x3f];
    result += internal::ALPHABET[bits & 0x3f];
  }

  const size_t rest = s.size() - i;
  if (rest > 0) {
    uint32_t bits = static_cast<unsigned char>(s[i]) << 16;
    if (rest == 2) {
      bits |= static_cast<unsigned char>(s[i + 1]) << 8;
    }
    result += internal::ALPHABET[(bits >> 18) & 0x3f];
    result += internal::ALPHABET[(bits >> 12) & 0x3f];
    result += rest == 2 ? internal::ALPHABET[(bits >> 6) & 0x3f] : '=';
    result += '=';
  }

  return result;
}


// Decodes up to the first '='; whatever follows it is ignored, and the
// amount of padding is not checked, so padded and unpadded text decode
// alike. A trailing group of 2 or 3 characters gives 1 or 2 bytes, a lone
// trailing character nothing. Any other character than the alphabet fails
// with "Invalid character '<c>'".
inline Try<std::string> decode(const std::string& s)
{
  std::string result;
  result.reserve(s.size() / 4 * 3 + 2);

  uint32_t bits = 0;
  int count = 0;

  for (char c : s) {
    if (c == '=') {
      break;
    }

    const int value = internal::sextet(static_cast<unsigned char>(c));
    if (value < 0) {
      return Error("Invalid character '" + std::string(1, c) + "'");
    }

    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      result += static_cast<char>((bits >> 16) & 0xff);
      result += static_cast<char>((bits >> 8) & 0xff);
      result += static_cast<char>(bits & 0xff);
      bits = 0;
      count = 0;
    }
  }

  if (count == 2) {
    result += static_cast<char>((bits >> 4) & 0xff);
  } else if (count == 3) {
    result += static_cast<char>((bits >> 10) & 0xff);
    result += static_cast<char>((bits >> 2) & 0xff);
  }

  return result;
}

} // namespace base64

#endif // __STOUT_BASE64_HPP__
