#ifndef __STOUT_OS_STRERROR_HPP__
#define __STOUT_OS_STRERROR_HPP__

#include <string.h>

#include <string>

namespace os {

// Thread-safe strerror.
inline std::string strerror(int errnum)
{
  char buffer[1024];
  // GNU strerror_r returns the message, which may or may not be `buffer`.
  return ::strerror_r(errnum, buffer, sizeof(buffer));
}

} // namespace os

#endif // __STOUT_OS_STRERROR_HPP__
