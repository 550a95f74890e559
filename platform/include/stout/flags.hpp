#ifndef __STOUT_FLAGS_HPP__
#define __STOUT_FLAGS_HPP__

// Command line and configuration flags: flags::FlagsBase and friends.
#include <stout/flags/flags.hpp>

#endif // __STOUT_FLAGS_HPP__
