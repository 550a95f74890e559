#ifndef __STOUT_OS_SHELL_HPP__
#define __STOUT_OS_SHELL_HPP__

// Mesos declares os::system here.
#include <stout/os/system.hpp>

#endif // __STOUT_OS_SHELL_HPP__
