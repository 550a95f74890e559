#include <chrono>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/process.hpp>
#include <process/ssl/flags.hpp>

#include <stout/strings.hpp>

#include "support/raw_client.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"

using namespace ovra_test;

namespace http = process::http;
namespace openssl = process::network::openssl;

using process::Future;
using process::Process;
using process::ProcessBase;

using std::string;

namespace {

struct KeyAndCertificate
{
  string key;
  string certificate;
};


string toPem(const std::function<int(BIO*)>& write)
{
  std::unique_ptr<BIO, int (*)(BIO*)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  write(bio.get());
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio.get(), &data);
  return string(data, static_cast<size_t>(length));
}


// A self-signed certificate for "localhost" and 127.0.0.1.
KeyAndCertificate selfSigned()
{
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
      EVP_RSA_gen(2048), &EVP_PKEY_free);
  std::unique_ptr<X509, void (*)(X509*)> x509(X509_new(), &X509_free);

  X509_set_version(x509.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(x509.get()), -60);
  X509_gmtime_adj(X509_getm_notAfter(x509.get()), 3600);
  X509_set_pubkey(x509.get(), key.get());

  X509_NAME* name = X509_get_subject_name(x509.get());
  X509_NAME_add_entry_by_txt(
      name,
      "CN",
      MBSTRING_ASC,
      reinterpret_cast<const unsigned char*>("localhost"),
      -1,
      -1,
      0);
  X509_set_issuer_name(x509.get(), name);

  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, x509.get(), x509.get(), nullptr, nullptr, 0);
  for (const auto& extension :
       {std::make_pair(NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"),
        std::make_pair(NID_basic_constraints, "critical,CA:TRUE")}) {
    X509_EXTENSION* made = X509V3_EXT_conf_nid(
        nullptr, &context, extension.first, extension.second);
    X509_add_ext(x509.get(), made, -1);
    X509_EXTENSION_free(made);
  }

  X509_sign(x509.get(), key.get(), EVP_sha256());

  KeyAndCertificate result;
  result.key = toPem([&key](BIO* bio) {
    return PEM_write_bio_PrivateKey(
        bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
  result.certificate =
      toPem([&x509](BIO* bio) { return PEM_write_bio_X509(bio, x509.get()); });
  return result;
}


class HelloProcess : public Process<HelloProcess>
{
public:
  HelloProcess() : ProcessBase(process::ID::generate("hello")) {}

protected:
  void initialize() override
  {
    route("/hello", None(), [](const http::Request&) {
      return http::OK("hello");
    });
  }
};

} // namespace {


TEST(SslTest, HttpsWithAVerifiedCertificateAndDowngradeForPlainHttp)
{
  TemporaryDirectory directory;
  const KeyAndCertificate credentials = selfSigned();
  const string keyFile = directory.write("key.pem", credentials.key);
  const string certFile = directory.write("cert.pem", credentials.certificate);

  HelloProcess hello;
  process::spawn(hello);
  const uint16_t port = hello.self().address.port;
  const string path = "/" + hello.self().id + "/hello";

  {
    ScopedEnvironment environment;
    environment.set("LIBPROCESS_SSL_ENABLED", "true");
    environment.set("LIBPROCESS_SSL_SUPPORT_DOWNGRADE", "true");
    environment.set("LIBPROCESS_SSL_KEY_FILE", keyFile);
    environment.set("LIBPROCESS_SSL_CERT_FILE", certFile);
    environment.set("LIBPROCESS_SSL_VERIFY_CERT", "true");
    environment.set("LIBPROCESS_SSL_CA_FILE", certFile);
    openssl::reinitialize();

    EXPECT_TRUE(openssl::flags().enabled);
    EXPECT_TRUE(openssl::flags().verify_cert);

    AWAIT_EXPECT_RESPONSE_BODY_EQ(
        "hello", http::get(http::URL("https", "localhost", port, path)));

    // Plain HTTP is still served, as downgrade is supported.
    AWAIT_EXPECT_RESPONSE_BODY_EQ(
        "hello",
        http::get(http::URL("http", net::IP(INADDR_LOOPBACK), port, path)));

    // The certificate does not name the host "127.0.0.1" (only the IP, which
    // is checked only with verify_ipadd).
    Future<http::Response> misnamed =
        http::get(http::URL("https", "127.0.0.1", port, path));
    AWAIT_ASSERT_FAILED(misnamed);
    EXPECT_TRUE(strings::contains(
        misnamed.failure(), "Could not verify peer certificate"))
        << misnamed.failure();
  }

  openssl::reinitialize();
  EXPECT_FALSE(openssl::flags().enabled);

  process::terminate(hello);
  process::wait(hello);
}


TEST(SslTest, EnabledWithoutKeyFailsHttpsClearly)
{
  {
    ScopedEnvironment environment;
    environment.set("LIBPROCESS_SSL_ENABLED", "1");
    openssl::reinitialize();

    AWAIT_EXPECT_FAILURE_EQ(
        "Failed to create socket: SSL requires key! NOTE: Set path with "
        "LIBPROCESS_SSL_KEY_FILE",
        http::get(http::URL("https", net::IP(INADDR_LOOPBACK), 443, "/")));
  }

  openssl::reinitialize();
}


TEST(SslTest, AHandshakeThatStallsIsClosedAtItsLimit)
{
  TemporaryDirectory directory;
  const KeyAndCertificate credentials = selfSigned();
  const string keyFile = directory.write("key.pem", credentials.key);
  const string certFile = directory.write("cert.pem", credentials.certificate);

  {
    ScopedEnvironment environment;
    environment.set("LIBPROCESS_SSL_ENABLED", "true");
    environment.set("LIBPROCESS_SSL_KEY_FILE", keyFile);
    environment.set("LIBPROCESS_SSL_CERT_FILE", certFile);
    openssl::reinitialize();

    // The first byte of a TLS record, then nothing; and a ClientHello's
    // record head without its body.
    RawClient oneByte(process::address().port);
    RawClient halfHello(process::address().port);
    ASSERT_TRUE(oneByte.send("\x16"));
    ASSERT_TRUE(halfHello.send(string("\x16\x03\x01\x02\x00", 5)));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(oneByte.closedByPeer());
    EXPECT_TRUE(halfHello.closedByPeer());
    const auto held = std::chrono::steady_clock::now() - start;
    EXPECT_GE(held, std::chrono::milliseconds(4500));
    EXPECT_LT(held, std::chrono::seconds(9));
  }

  openssl::reinitialize();
}
