#ifndef __COMMON_SENTREL_BASE64URL_HPP__
#define __COMMON_SENTREL_BASE64URL_HPP__

// The URL-safe base64 of JSON Web Tokens and Keys (RFC 4648 section 5),
// beside stout's standard codec.

#include <string>

#include <stout/try.hpp>

namespace base64 {

// Base64url text of `s` without "=" padding.
std::string encode_uri(const std::string& s);

// The bytes of base64url text; padded and unpadded text decode alike, and
// the standard alphabet ("+", "/") is accepted too. Any other character
// fails with "Invalid character '<c>'".
Try<std::string> decode_uri(const std::string& s);

} // namespace base64 {

#endif // __COMMON_SENTREL_BASE64URL_HPP__
