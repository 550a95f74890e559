#ifndef __STOUT_OS_CONSTANTS_HPP__
#define __STOUT_OS_CONSTANTS_HPP__

#include <string>

namespace os {

constexpr char PATH_SEPARATOR = '/';
constexpr char DEV_NULL[] = "/dev/null";

} // namespace os

#endif // __STOUT_OS_CONSTANTS_HPP__
