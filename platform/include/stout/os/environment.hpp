#ifndef __STOUT_OS_ENVIRONMENT_HPP__
#define __STOUT_OS_ENVIRONMENT_HPP__

#include <stdlib.h>

#include <map>
#include <string>

#include <stout/os/getenv.hpp>

extern char** environ;

namespace os {

// The process environment as name -> value; entries without '=' are
// skipped. Not safe against concurrent setenv/unsetenv (no getenv is).
inline std::map<std::string, std::string> environment()
{
  std::map<std::string, std::string> result;
  if (environ == nullptr) {
    return result;
  }

  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const size_t position = text.find('=');
    if (position == std::string::npos) {
      continue;
    }
    result[text.substr(0, position)] = text.substr(position + 1);
  }

  return result;
}


inline void setenv(
    const std::string& key,
    const std::string& value,
    bool overwrite = true)
{
  ::setenv(key.c_str(), value.c_str(), overwrite ? 1 : 0);
}


inline void unsetenv(const std::string& key)
{
  ::unsetenv(key.c_str());
}

} // namespace os

#endif // __STOUT_OS_ENVIRONMENT_HPP__
