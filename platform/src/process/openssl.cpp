#include <stdlib.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <process/ssl/flags.hpp>

#include <stout/strings.hpp>

#include "openssl.hpp"

extern char** environ;

namespace process {
namespace network {
namespace openssl {

Flags::Flags()
{
  add(&Flags::enabled,
      "enabled",
      "Serve and connect with TLS.",
      false);

  add(&Flags::support_downgrade,
      "support_downgrade",
      "Also accept plain connections on the TLS listening socket.",
      false);

  add(&Flags::cert_file, "cert_file", "PEM file with this process's certificate chain.");

  add(&Flags::key_file, "key_file", "PEM file with this process's private key.");

  add(&Flags::verify_cert,
      "verify_cert",
      "Check the certificates that peers present.",
      false);

  add(&Flags::require_cert,
      "require_cert",
      "Refuse peers without a certificate (implies verify_cert).",
      false);

  add(&Flags::verify_ipadd,
      "verify_ipadd",
      "Accept a peer certificate that names the peer's IP address.",
      false);

  add(&Flags::verification_depth,
      "verification_depth",
      "How many certificates a verified chain may have.",
      4u);

  add(&Flags::ca_dir, "ca_dir", "Directory of trusted CA certificates.");

  add(&Flags::ca_file, "ca_file", "File of trusted CA certificates.");

  add(&Flags::ciphers,
      "ciphers",
      "OpenSSL cipher list for TLS 1.2 and older.",
      std::string(
          "AES128-SHA:AES256-SHA:RC4-SHA:DHE-RSA-AES128-SHA:"
          "DHE-DSS-AES128-SHA:DHE-RSA-AES256-SHA:DHE-DSS-AES256-SHA"));

  add(&Flags::enable_ssl_v3, "enable_ssl_v3", "Allow SSL 3.", false);
  add(&Flags::enable_tls_v1_0, "enable_tls_v1_0", "Allow TLS 1.0.", false);
  add(&Flags::enable_tls_v1_1, "enable_tls_v1_1", "Allow TLS 1.1.", false);
  add(&Flags::enable_tls_v1_2, "enable_tls_v1_2", "Allow TLS 1.2.", true);
}


namespace {

// The environment variables named `prefix` + a flag name (in any case),
// by lower-cased flag name.
std::map<std::string, std::string> environmentWith(
    const Flags& flags,
    const std::string& prefix)
{
  std::map<std::string, std::string> values;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    const size_t equals = variable.find('=');
    if (equals == std::string::npos ||
        !strings::startsWith(variable, prefix)) {
      continue;
    }
    const std::string name =
      strings::lower(variable.substr(prefix.size(), equals - prefix.size()));
    bool known = false;
    for (const auto& flag : flags) {
      known = known || flag.first == name;
    }
    if (known && name != "help") {
      values[name] = variable.substr(equals + 1);
    }
  }
  return values;
}


Flags* load()
{
  Flags* flags = new Flags();

  // The deprecated SSL_ variables first, so that LIBPROCESS_SSL_ wins.
  std::map<std::string, std::string> values = environmentWith(*flags, "SSL_");
  for (const auto& entry : environmentWith(*flags, "LIBPROCESS_SSL_")) {
    auto old = values.find(entry.first);
    if (old != values.end() && old->second != entry.second) {
      LOG(WARNING) << "Mismatched values for SSL environment variables SSL_"
                   << entry.first << " and LIBPROCESS_SSL_" << entry.first;
    }
    values[entry.first] = entry.second;
  }

  Try<flags::Warnings> loaded = flags->load(values);
  if (loaded.isError()) {
    LOG(ERROR) << "Failed to load flags from environment variables prefixed"
               << " by LIBPROCESS_SSL_ or SSL_ (deprecated): "
               << loaded.error() << "; SSL stays disabled";
    delete flags;
    flags = new Flags();
  }

  if (flags->enabled && flags->support_downgrade) {
    LOG(WARNING) << "Failed SSL connections will be downgraded to a non-SSL "
                 << "socket";
  }

  if (flags->require_cert && !flags->verify_cert) {
    flags->verify_cert = true;
    LOG(INFO) << "LIBPROCESS_SSL_REQUIRE_CERT implies peer certificate"
              << " verification: LIBPROCESS_SSL_VERIFY_CERT set to true";
  }

  return flags;
}


std::string lastError()
{
  const unsigned long code = ERR_get_error();
  char buffer[256] = {};
  ERR_error_string_n(code, buffer, sizeof(buffer));
  return buffer;
}


Try<std::shared_ptr<boost::asio::ssl::context>> createContext()
{
  const Flags& settings = flags();

  if (!settings.enabled) {
    return Error("SSL is disabled");
  }

  if (settings.key_file.isNone()) {
    return Error(
        "SSL requires key! NOTE: Set path with LIBPROCESS_SSL_KEY_FILE");
  }

  if (settings.cert_file.isNone()) {
    return Error(
        "SSL requires certificate! NOTE: Set path with "
        "LIBPROCESS_SSL_CERT_FILE");
  }

  std::shared_ptr<boost::asio::ssl::context> context;
  try {
    context = std::make_shared<boost::asio::ssl::context>(
        boost::asio::ssl::context::tls);
  } catch (const std::exception& e) {
    return Error(std::string("Failed to create SSL context: ") + e.what());
  }

  SSL_CTX* ctx = context->native_handle();

  long options = SSL_OP_NO_SSLv2 | SSL_OP_NO_COMPRESSION;
  if (!settings.enable_ssl_v3) {
    options |= SSL_OP_NO_SSLv3;
  }
  if (!settings.enable_tls_v1_0) {
    options |= SSL_OP_NO_TLSv1;
  }
  if (!settings.enable_tls_v1_1) {
    options |= SSL_OP_NO_TLSv1_1;
  }
  if (!settings.enable_tls_v1_2) {
    options |= SSL_OP_NO_TLSv1_2;
  }
  SSL_CTX_set_options(ctx, options);

  if (settings.verify_cert) {
    if (settings.ca_file.isSome() || settings.ca_dir.isSome()) {
      const char* file =
        settings.ca_file.isSome() ? settings.ca_file->c_str() : nullptr;
      const char* dir =
        settings.ca_dir.isSome() ? settings.ca_dir->c_str() : nullptr;
      if (SSL_CTX_load_verify_locations(ctx, file, dir) != 1) {
        return Error(
            "Could not load CA file and/or directory: " + lastError());
      }
    } else if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
      return Error("Could not load default CA file and/or directory");
    }

    int mode = SSL_VERIFY_PEER;
    if (settings.require_cert) {
      mode |= SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
    }
    SSL_CTX_set_verify(ctx, mode, nullptr);
    SSL_CTX_set_verify_depth(ctx, static_cast<int>(settings.verification_depth));
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }

  if (SSL_CTX_use_certificate_chain_file(
          ctx, settings.cert_file->c_str()) != 1) {
    return Error(
        "Could not load cert file '" + settings.cert_file.get() + "': " +
        lastError());
  }

  if (SSL_CTX_use_PrivateKey_file(
          ctx, settings.key_file->c_str(), SSL_FILETYPE_PEM) != 1) {
    return Error(
        "Could not load key file '" + settings.key_file.get() + "': " +
        lastError());
  }

  if (SSL_CTX_check_private_key(ctx) != 1) {
    return Error(
        "Private key does not match the certificate public key: " +
        lastError());
  }

  if (SSL_CTX_set_cipher_list(ctx, settings.ciphers.c_str()) != 1) {
    return Error(
        "Could not set ciphers '" + settings.ciphers + "': " + lastError());
  }

  return context;
}

} // namespace {


namespace {

typedef Try<std::shared_ptr<boost::asio::ssl::context>> Context;

// The current settings and context. Replaced ones are kept, never freed,
// as callers may still hold references to them.
std::mutex* current = new std::mutex();
std::atomic<Flags*> currentFlags(nullptr);
std::atomic<Context*> currentContext(nullptr);
std::vector<Flags*>* retiredFlags = new std::vector<Flags*>();
std::vector<Context*>* retiredContexts = new std::vector<Context*>();

} // namespace {


const Flags& flags()
{
  Flags* flags = currentFlags.load();
  if (flags == nullptr) {
    std::lock_guard<std::mutex> lock(*current);
    flags = currentFlags.load();
    if (flags == nullptr) {
      flags = load();
      currentFlags.store(flags);
    }
  }
  return *flags;
}


Try<std::shared_ptr<boost::asio::ssl::context>> context()
{
  Context* context = currentContext.load();
  if (context == nullptr) {
    flags();
    std::lock_guard<std::mutex> lock(*current);
    context = currentContext.load();
    if (context == nullptr) {
      context = new Context(createContext());
      currentContext.store(context);
    }
  }
  return *context;
}


void reinitialize()
{
  std::lock_guard<std::mutex> lock(*current);
  if (currentFlags.load() != nullptr) {
    retiredFlags->push_back(currentFlags.load());
  }
  if (currentContext.load() != nullptr) {
    retiredContexts->push_back(currentContext.load());
  }
  currentFlags.store(load());
  currentContext.store(new Context(createContext()));
}


Try<Nothing> verify(
    SSL* ssl,
    const Option<std::string>& hostname,
    const Option<net::IP>& ip)
{
  const Flags& settings = flags();
  if (!settings.verify_cert) {
    return Nothing();
  }

  X509* certificate = SSL_get1_peer_certificate(ssl);
  if (certificate == nullptr) {
    return settings.require_cert
      ? Try<Nothing>(Error("Peer did not provide certificate"))
      : Try<Nothing>(Nothing());
  }

  std::unique_ptr<X509, void (*)(X509*)> owned(certificate, &X509_free);

  if (SSL_get_verify_result(ssl) != X509_V_OK) {
    return Error("Could not verify peer certificate");
  }

  if (!settings.verify_ipadd && hostname.isNone()) {
    return settings.require_cert
      ? Try<Nothing>(
            Error("Cannot verify peer certificate: peer hostname unknown"))
      : Try<Nothing>(Nothing());
  }

  if (settings.verify_ipadd && ip.isSome()) {
    const in_addr address = ip->in().get();
    if (X509_check_ip(
            certificate,
            reinterpret_cast<const unsigned char*>(&address),
            sizeof(address),
            0) == 1) {
      return Nothing();
    }
  }

  if (hostname.isSome() &&
      X509_check_host(
          certificate, hostname->c_str(), hostname->size(), 0, nullptr) == 1) {
    return Nothing();
  }

  return Error("Could not verify peer certificate");
}

} // namespace openssl {
} // namespace network {
} // namespace process {
