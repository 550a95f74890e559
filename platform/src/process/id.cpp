#include <map>
#include <mutex>
#include <string>

#include <process/id.hpp>

namespace process {
namespace ID {

std::string generate(const std::string& prefix)
{
  // One counter per prefix, so "worker(1)" and "(1)" both exist.
  static std::mutex* mutex = new std::mutex();
  static std::map<std::string, int>* counters = new std::map<std::string, int>();

  std::lock_guard<std::mutex> lock(*mutex);
  const int count = ++(*counters)[prefix];
  return prefix + "(" + std::to_string(count) + ")";
}

} // namespace ID {
} // namespace process {
