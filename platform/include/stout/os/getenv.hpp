#ifndef __STOUT_OS_GETENV_HPP__
#define __STOUT_OS_GETENV_HPP__

#include <stdlib.h>

#include <string>

#include <stout/none.hpp>
#include <stout/option.hpp>

namespace os {

// None when `key` is not set; a set but empty variable gives "".
inline Option<std::string> getenv(const std::string& key)
{
  const char* value = ::getenv(key.c_str());
  if (value == nullptr) {
    return None();
  }
  return std::string(value);
}

} // namespace os

#endif // __STOUT_OS_GETENV_HPP__
