#ifndef __SSL_EXEC_FLAGS_HPP__
#define __SSL_EXEC_FLAGS_HPP__

// Flags of the SSL executor hook and isolator: the agent's SSL files to copy
// into sandboxes, and extra environment for executors.

#include <string>

#include <stout/flags.hpp>
#include <stout/option.hpp>

namespace corvanta {
namespace ovra {
namespace ssl_executor {

class Flags : public virtual flags::FlagsBase
{
public:
  Flags();

  std::string ca_file;
  std::string cert_file;
  std::string key_file;
  std::string sandbox_subfolder;
  Option<std::string> executor_environment;
};

} // namespace ssl_executor {
} // namespace ovra {
} // namespace corvanta {

#endif // __SSL_EXEC_FLAGS_HPP__
