#ifndef __STOUT_OS_HPP__
#define __STOUT_OS_HPP__

// The operating system helpers, all in namespace os.
#include <stout/os/chmod.hpp>
#include <stout/os/chown.hpp>
#include <stout/os/constants.hpp>
#include <stout/os/environment.hpp>
#include <stout/os/exists.hpp>
#include <stout/os/getenv.hpp>
#include <stout/os/mkdir.hpp>
#include <stout/os/read.hpp>
#include <stout/os/rm.hpp>
#include <stout/os/stat.hpp>
#include <stout/os/strerror.hpp>
#include <stout/os/system.hpp>
#include <stout/os/write.hpp>

#endif // __STOUT_OS_HPP__
