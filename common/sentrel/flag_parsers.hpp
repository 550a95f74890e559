#ifndef __COMMON_SENTREL_FLAG_PARSERS_HPP__
#define __COMMON_SENTREL_FLAG_PARSERS_HPP__

// Flag value parsers for the types that stout has no parser for: the IAM
// service's URL and the service-account credential. They must be declared
// before any flags class that holds such a flag.

#include <ostream>
#include <string>

#include <process/http.hpp>

#include <stout/flags/parse.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"

namespace flags {

// libprocess's URL parser.
template <>
Try<process::http::URL> parse(const std::string& value);

// A JSON object with the credential's four fields, or (deprecated) the
// absolute path of a file holding one.
template <>
Try<corvanta::Credential> parse(const std::string& value);

} // namespace flags

namespace corvanta {

// Prints the account's uid only: a credential holds a private key, which
// must never reach a log or a help text.
std::ostream& operator<<(std::ostream& stream, const Credential& credential);

} // namespace corvanta

#endif // __COMMON_SENTREL_FLAG_PARSERS_HPP__
