#include "common/sentrel/base64url.hpp"

#include <stdint.h>

#include <string>

#include <stout/base64.hpp>
#include <stout/strings.hpp>

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
  return base64::decode(
      strings::replace(strings::replace(s, "-", "+"), "_", "/"));
}

} // namespace base64 {
