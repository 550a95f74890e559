#ifndef __PROCESS_OPENSSL_HPP__
#define __PROCESS_OPENSSL_HPP__

#include <memory>
#include <string>

#include <openssl/ssl.h>

#include <boost/asio/ssl/context.hpp>

#include <stout/ip.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace process {
namespace network {
namespace openssl {

// The TLS context of this process, built once from flags(), for both the
// connections it accepts and those it makes. An error if SSL is not
// enabled or the settings are unusable (no certificate or key, files that
// do not load, bad ciphers).
Try<std::shared_ptr<boost::asio::ssl::context>> context();

// The check libprocess makes once a handshake is done: with verify_cert,
// the peer's certificate (if any; required with require_cert) must be valid
// and name `hostname` (or `ip`, with verify_ipadd).
Try<Nothing> verify(
    SSL* ssl,
    const Option<std::string>& hostname,
    const Option<net::IP>& ip);

} // namespace openssl {
} // namespace network {
} // namespace process {

#endif // __PROCESS_OPENSSL_HPP__
