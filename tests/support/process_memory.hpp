#ifndef __TESTS_SUPPORT_PROCESS_MEMORY_HPP__
#define __TESTS_SUPPORT_PROCESS_MEMORY_HPP__

// This process's memory as the kernel reports it in /proc/self/status, for
// tests that show a bound on what an input costs.

#include <stddef.h>

#include <fstream>
#include <string>

#include <stout/none.hpp>
#include <stout/option.hpp>

namespace ovra_test {
namespace process_memory {

// The value of a "<field>: <n> kB" line (VmRSS, VmHWM) in bytes; none
// where the kernel does not tell.
inline Option<size_t> statusBytes(const std::string& field)
{
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = field + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) {
      return std::stoul(line.substr(prefix.size())) * 1024;
    }
  }
  return None();
}


// Starts the peak (VmHWM) afresh from the current resident memory.
inline bool resetPeakResident()
{
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear.flush());
}

} // namespace process_memory {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_PROCESS_MEMORY_HPP__
