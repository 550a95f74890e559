// ovra_dev_secrets: the development secret store as a program. Serves the
// secrets of a JSON file (see secrets_file.hpp) on 127.0.0.1 to holders of
// a valid IAM token. The IAM service's public key is given as a PEM file
// (--iam_public_key) or fetched once at start from the key set of a running
// IAM service (--iam).

#include <stdint.h>

#include <iostream>
#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/os.hpp>
#include <stout/stringify.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/jwk.hpp"
#include "tools/command_line.hpp"
#include "tools/ovra_dev_secrets/core/dev_secrets.hpp"
#include "tools/ovra_dev_secrets/core/secrets_file.hpp"

namespace {

class Flags : public virtual flags::FlagsBase
{
public:
  Flags()
  {
    add(&Flags::secrets,
        "secrets",
        "Path of the JSON object of secret name to secret: its value, or\n"
        "an object with \"value\" and \"readers\" (the uids that may read it).");

    add(&Flags::iam,
        "iam",
        "URL of the IAM service whose key set (/acs/api/v1/auth/jwks) gives\n"
        "the key that tokens are checked against, fetched once at start.");

    add(&Flags::iam_public_key,
        "iam_public_key",
        "Path of the IAM service's public key (PEM); instead of --iam.");

    add(&Flags::port,
        "port",
        "Port to listen on, on 127.0.0.1; 0 picks a free one.",
        static_cast<uint16_t>(0));
  }

  std::string secrets;
  Option<std::string> iam;
  Option<std::string> iam_public_key;
  uint16_t port;
};


Try<std::shared_ptr<RSA>> iamKey(const Flags& flags)
{
  if (flags.iam_public_key.isSome() == flags.iam.isSome()) {
    return Error("Give exactly one of --iam and --iam_public_key");
  }

  if (flags.iam_public_key.isSome()) {
    Try<std::string> pem = os::read(flags.iam_public_key.get());
    if (pem.isError()) {
      return Error(
          "Could not read '" + flags.iam_public_key.get() + "': " +
          pem.error());
    }
    return openssl::publicKey(pem.get());
  }

  Try<process::http::URL> url = process::http::URL::parse(flags.iam.get());
  if (url.isError()) {
    return Error("Invalid --iam: " + url.error());
  }

  process::Future<std::shared_ptr<RSA>> key =
    mesos::sentrel::JWK::querySentrelPublicKey(
        mesos::sentrel::JWK::jwksURL(url.get()), Seconds(10));
  key.await();
  if (!key.isReady()) {
    return Error(key.isFailed() ? key.failure() : "Key fetch discarded");
  }
  return key.get();
}

} // namespace {


int main(int argc, char** argv)
{
  Flags flags;
  const Option<int> stop = tools::loadCommandLine(&flags, argc, argv);
  if (stop.isSome()) {
    return stop.get();
  }

  Try<dev_secrets::Secrets> secrets = dev_secrets::readSecrets(flags.secrets);
  if (secrets.isError()) {
    std::cerr << secrets.error() << std::endl;
    return 1;
  }

  // The store is for development only: it never listens beyond loopback.
  os::setenv("LIBPROCESS_IP", "127.0.0.1");
  os::setenv("LIBPROCESS_PORT", stringify(flags.port));

  Try<std::shared_ptr<RSA>> key = iamKey(flags);
  if (key.isError()) {
    std::cerr << "No IAM key: " << key.error() << std::endl;
    return 1;
  }

  Try<process::Owned<dev_secrets::DevSecrets>> store =
    dev_secrets::DevSecrets::start(secrets.get(), key.get());
  if (store.isError()) {
    std::cerr << store.error() << std::endl;
    return 1;
  }

  std::cout << "Development secret store listening on " << store.get()->url()
            << std::endl;

  // Serves until the process is stopped.
  process::Future<Nothing>().await();
  return 0;
}
