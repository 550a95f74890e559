#ifndef __TOOLS_COMMAND_LINE_HPP__
#define __TOOLS_COMMAND_LINE_HPP__

// The start of every tool's main(): glog to standard error, then the flags
// from the command line.

#include <iostream>

#include <glog/logging.h>

#include <stout/flags.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace tools {

// Loads `flags` from the command line. Returns the exit code when the
// program is to stop at once: 0 after printing the help, 1 after printing
// a load error with the usage.
inline Option<int> loadCommandLine(
    flags::FlagsBase* flags,
    int argc,
    char** argv)
{
  google::InitGoogleLogging(argv[0]);
  FLAGS_logtostderr = true;

  Try<flags::Warnings> load = flags->load(None(), argc, argv);
  if (load.isError()) {
    std::cerr << flags->usage(load.error()) << std::endl;
    return 1;
  }

  if (flags->help) {
    std::cout << flags->usage() << std::endl;
    return 0;
  }

  return None();
}

} // namespace tools {

#endif // __TOOLS_COMMAND_LINE_HPP__
