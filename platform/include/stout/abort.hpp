#ifndef __STOUT_ABORT_HPP__
#define __STOUT_ABORT_HPP__

#include <cstdio>
#include <cstdlib>
#include <string>

// ABORT ends the process with a message. Only misuse of an API reaches it
// (get() on an empty Option, say), never bad input.
#define ABORT(...) _Abort(__FILE__ ":" _ABORT_STR(__LINE__) ": ", __VA_ARGS__)
#define _ABORT_STR(x) _ABORT_STR2(x)
#define _ABORT_STR2(x) #x

[[noreturn]] inline void _Abort(const char* prefix, const std::string& message)
{
  std::fprintf(stderr, "ABORT: (%s): %s\n", prefix, message.c_str());
  std::fflush(stderr);
  std::abort();
}

#endif // __STOUT_ABORT_HPP__
