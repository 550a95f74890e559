#ifndef __TESTS_SUPPORT_TLS_FILES_HPP__
#define __TESTS_SUPPORT_TLS_FILES_HPP__

// A private key and a self-signed certificate for 127.0.0.1 in PEM files,
// for a libprocess that runs with SSL enabled: Mesos 1.2.0's libprocess
// ends the process when SSL is on without a key and certificate it can
// load. The key is test_keys::PRIVATE_KEY; the certificate is made when
// the files are, valid from an hour ago for a day.

#include <memory>
#include <string>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "support/temporary_directory.hpp"
#include "support/test_keys.hpp"

namespace ovra_test {

class TlsFiles
{
public:
  TlsFiles()
  {
    key_ = directory_.write("key.pem", test_keys::PRIVATE_KEY);
    cert_ = directory_.write("cert.pem", certificate());
  }

  const std::string& key() const { return key_; }
  const std::string& cert() const { return cert_; }

private:
  static std::string certificate()
  {
    std::unique_ptr<BIO, decltype(&BIO_free)> in(
        BIO_new_mem_buf(test_keys::PRIVATE_KEY, -1), &BIO_free);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr),
        &EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> x509(X509_new(), &X509_free);
    if (key == nullptr || x509 == nullptr) {
      return "";
    }

    X509_set_version(x509.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x509.get()), 24 * 3600);
    X509_set_pubkey(x509.get(), key.get());

    X509_NAME* name = X509_get_subject_name(x509.get());
    X509_NAME_add_entry_by_txt(
        name,
        "CN",
        MBSTRING_ASC,
        reinterpret_cast<const unsigned char*>("127.0.0.1"),
        -1,
        -1,
        0);
    X509_set_issuer_name(x509.get(), name);

    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x509.get(), x509.get(), nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(
        nullptr,
        &context,
        NID_subject_alt_name,
        const_cast<char*>("IP:127.0.0.1"));
    if (san != nullptr) {
      X509_add_ext(x509.get(), san, -1);
      X509_EXTENSION_free(san);
    }

    if (X509_sign(x509.get(), key.get(), EVP_sha256()) == 0) {
      return "";
    }

    std::unique_ptr<BIO, decltype(&BIO_free)> out(
        BIO_new(BIO_s_mem()), &BIO_free);
    PEM_write_bio_X509(out.get(), x509.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<size_t>(length));
  }

  TemporaryDirectory directory_;
  std::string key_;
  std::string cert_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_TLS_FILES_HPP__
