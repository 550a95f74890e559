#ifndef __PROCESS_ID_HPP__
#define __PROCESS_ID_HPP__

#include <string>

namespace process {
namespace ID {

// A process-wide unique actor id: "prefix(N)", N counting from 1 for each
// prefix ("(1)" for an empty prefix).
std::string generate(const std::string& prefix = "");

} // namespace ID {
} // namespace process {

#endif // __PROCESS_ID_HPP__
