#include "common/sentrel/base64url.hpp"

#include <stdint.h>

#include <algorithm>
#include <array>
#include <string>

#include <stout/error.hpp>
#include <stout/try.hpp>

namespace base64 {

namespace {

const char URL_ALPHABET[] =
  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

} // namespace {


std::string encode_uri(const std::string& s)
{
  std::string result;
  result.reserve((s.size() + 2) / 3 * 4);

  auto byte = [&s](size_t i) -> uint32_t {
    return static_cast<unsigned char>(s[i]);
  };

  size_t i = 0;
  for (; i + 3 <= s.size(); i += 3) {
    const uint32_t bits = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    result += URL_ALPHABET[(bits >> 18) & 0x3f];
    result += URL_ALPHABET[(bits >> 12) & 0x3f];
    result += URL_ALPHABET[(bits >> 6) & 0x3f];
    result += URL_ALPHABET[bits & 0x3f];
  }

  // A final group of one byte gives two characters, of two bytes three.
  const size_t rest = s.size() - i;
  if (rest > 0) {
    const uint32_t bits = (byte(i) << 16) | (rest == 2 ? byte(i + 1) << 8 : 0);
    result += URL_ALPHABET[(bits >> 18) & 0x3f];
    result += URL_ALPHABET[(bits >> 12) & 0x3f];
    if (rest == 2) {
      result += URL_ALPHABET[(bits >> 6) & 0x3f];
    }
  }

  return result;
}


Try<std::string> decode_uri(const std::string& s)
{
  // One pass through a table of both alphabets: every token check decodes
  // three components, the signature the longest.
  static const std::array<int8_t, 256> SEXTETS = []() {
    std::array<int8_t, 256> table;
    table.fill(-1);
    for (int i = 0; i < 64; ++i) {
      table[static_cast<unsigned char>(URL_ALPHABET[i])] =
        static_cast<int8_t>(i);
    }
    table['+'] = 62;
    table['/'] = 63;
    return table;
  }();

  // Text after the first '=' is ignored, as stout's decoder ignores it.
  const size_t length = std::min(s.find('='), s.size());

  auto invalid = [&s](size_t from) -> Error {
    size_t i = from;
    while (SEXTETS[static_cast<unsigned char>(s[i])] >= 0) {
      ++i;
    }
    return Error("Invalid character '" + std::string(1, s[i]) + "'");
  };

  std::string result;
  result.resize(length / 4 * 3 + 2);
  size_t size = 0;

  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    const int a = SEXTETS[static_cast<unsigned char>(s[i])];
    const int b = SEXTETS[static_cast<unsigned char>(s[i + 1])];
    const int c = SEXTETS[static_cast<unsigned char>(s[i + 2])];
    const int d = SEXTETS[static_cast<unsigned char>(s[i + 3])];
    if ((a | b | c | d) < 0) {
      return invalid(i);
    }

    const uint32_t bits = (static_cast<uint32_t>(a) << 18) |
      (static_cast<uint32_t>(b) << 12) | (static_cast<uint32_t>(c) << 6) |
      static_cast<uint32_t>(d);
    result[size++] = static_cast<char>((bits >> 16) & 0xff);
    result[size++] = static_cast<char>((bits >> 8) & 0xff);
    result[size++] = static_cast<char>(bits & 0xff);
  }

  // A trailing group of 2 or 3 characters gives 1 or 2 bytes, a lone
  // trailing character nothing, as stout's decoder does.
  uint32_t bits = 0;
  const size_t rest = length - i;
  for (size_t j = i; j < length; ++j) {
    const int value = SEXTETS[static_cast<unsigned char>(s[j])];
    if (value < 0) {
      return invalid(j);
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
  }

  if (rest == 2) {
    result[size++] = static_cast<char>((bits >> 4) & 0xff);
  } else if (rest == 3) {
    result[size++] = static_cast<char>((bits >> 10) & 0xff);
    result[size++] = static_cast<char>((bits >> 2) & 0xff);
  }

  result.resize(size);
  return result;
}

} // namespace base64 {
