#ifndef __PROCESS_SSL_FLAGS_HPP__
#define __PROCESS_SSL_FLAGS_HPP__

#ifdef USE_SSL_SOCKET

#include <string>

#include <stout/flags.hpp>
#include <stout/option.hpp>

namespace process {
namespace network {
namespace openssl {

// The SSL settings, read once from the environment variables
// LIBPROCESS_SSL_<NAME> (or the deprecated SSL_<NAME>; the former wins),
// e.g. LIBPROCESS_SSL_ENABLED=true.
class Flags : public virtual flags::FlagsBase
{
public:
  Flags();

  bool enabled;
  bool support_downgrade;
  Option<std::string> cert_file;
  Option<std::string> key_file;
  bool verify_cert;
  bool require_cert;
  bool verify_ipadd;
  unsigned int verification_depth;
  Option<std::string> ca_dir;
  Option<std::string> ca_file;
  std::string ciphers;
  bool enable_ssl_v3;
  bool enable_tls_v1_0;
  bool enable_tls_v1_1;
  bool enable_tls_v1_2;
};


// The settings loaded from the environment on first use. Values that do
// not parse are logged and left at their defaults.
const Flags& flags();

// Loads the settings from the environment again and rebuilds the TLS
// context, for tests that change the LIBPROCESS_SSL_* variables. Earlier
// settings stay valid for those still holding them.
void reinitialize();

} // namespace openssl {
} // namespace network {
} // namespace process {

#endif // USE_SSL_SOCKET

#endif // __PROCESS_SSL_FLAGS_HPP__
