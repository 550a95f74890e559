// ovra_iam_tool: key material and tokens for operators and tests.
//
//   ovra_iam_tool keypair
//       A fresh RSA key pair, e.g. for the "private_key" of the development
//       IAM service's configuration.
//   ovra_iam_tool service-account --uid=UID --login_endpoint=URL
//                 [--credential_file=PATH] [--public_key_file=PATH]
//                 [--config=PATH]
//       A service account: its credential JSON (the form the modules'
//       `service_account_credential` flag takes) and its public key (for
//       the IAM service), each written to its file when given. With
//       --config, the account is also added to that development IAM
//       configuration (the file is replaced whole, never half-written).
//   ovra_iam_tool token --config=PATH --uid=UID [--lifetime=1hrs]
//       A token for UID signed with the key of a development IAM service's
//       configuration.

#include <cstdio>
#include <iostream>
#include <string>

#include <process/clock.hpp>
#include <process/future.hpp>

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/os/write.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel.pb.h"
#include "common/sentrel/bounded_json.hpp"
#include "tools/ovra_dev_iam/core/config.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"
#include "tools/ovra_dev_iam/core/keys.hpp"

namespace {

class Flags : public virtual flags::FlagsBase
{
public:
  Flags()
  {
    setUsageMessage(
        "Usage: ovra_iam_tool keypair | service-account | token [options]");

    add(&Flags::uid, "uid", "The service account's or user's uid.");
    add(&Flags::login_endpoint,
        "login_endpoint",
        "URL of the IAM service's login endpoint.");
    add(&Flags::credential_file,
        "credential_file",
        "Where to write the credential JSON.");
    add(&Flags::public_key_file,
        "public_key_file",
        "Where to write the public key.");
    add(&Flags::config,
        "config",
        "The development IAM service's configuration.");
    add(&Flags::lifetime, "lifetime", "Lifetime of the token.", Hours(1));
    add(&Flags::bits, "bits", "Size of new keys in bits.", 2048);
  }

  Option<std::string> uid;
  Option<std::string> login_endpoint;
  Option<std::string> credential_file;
  Option<std::string> public_key_file;
  Option<std::string> config;
  Duration lifetime;
  int bits;
};


int fail(const std::string& message)
{
  std::cerr << message << std::endl;
  return 1;
}


// Writes `content` to `path` when given; otherwise adds it to `output`.
Try<Nothing> emit(
    const Option<std::string>& path,
    const std::string& key,
    const JSON::Value& content,
    JSON::Object* output)
{
  if (path.isNone()) {
    output->values[key] = content;
    return Nothing();
  }

  const std::string text = content.is<JSON::String>()
    ? content.as<JSON::String>().value
    : stringify(content);

  return os::write(path.get(), text);
}


// Adds the service account `uid` with `publicKey` to the configuration at
// `path`: written beside it, then renamed over it.
Try<Nothing> addServiceAccount(
    const std::string& path,
    const std::string& uid,
    const std::string& publicKey)
{
  Try<std::string> content = os::read(path);
  if (content.isError()) {
    return Error(content.error());
  }

  Try<JSON::Object> config = mesos::sentrel::parseJson<JSON::Object>(content.get());
  if (config.isError()) {
    return Error("'" + path + "' is not a JSON object: " + config.error());
  }

  JSON::Object accounts;
  auto existing = config->values.find("service_accounts");
  if (existing != config->values.end() && existing->second.is<JSON::Object>()) {
    accounts = existing->second.as<JSON::Object>();
  }
  JSON::Object account;
  account.values["public_key"] = publicKey;
  accounts.values[uid] = account;
  config->values["service_accounts"] = accounts;

  const std::string temporary = path + ".new";
  Try<Nothing> written = os::write(temporary, stringify(config.get()));
  if (written.isError()) {
    return written;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    return Error("Could not replace '" + path + "'");
  }
  return Nothing();
}


int keypair(const Flags& flags)
{
  Try<dev_iam::KeyPair> key = dev_iam::generateKeyPair(flags.bits);
  if (key.isError()) {
    return fail(key.error());
  }

  JSON::Object output;
  output.values["private_key"] = key->privateKey;
  output.values["public_key"] = key->publicKey;
  std::cout << stringify(output) << std::endl;
  return 0;
}


int serviceAccount(const Flags& flags)
{
  if (flags.uid.isNone() || flags.login_endpoint.isNone()) {
    return fail("service-account needs --uid and --login_endpoint");
  }

  Try<dev_iam::KeyPair> key = dev_iam::generateKeyPair(flags.bits);
  if (key.isError()) {
    return fail(key.error());
  }

  const corvanta::Credential credential = dev_iam::rs256Credential(
      flags.uid.get(), key->privateKey, flags.login_endpoint.get());

  JSON::Object output;
  Try<Nothing> written = emit(
      flags.credential_file, "credential", JSON::protobuf(credential), &output);

  if (written.isSome()) {
    written =
      emit(flags.public_key_file, "public_key", key->publicKey, &output);
  }

  if (written.isSome() && flags.config.isSome()) {
    written = addServiceAccount(flags.config.get(), flags.uid.get(), key->publicKey);
  }

  if (written.isError()) {
    return fail("Could not write: " + written.error());
  }

  if (!output.values.empty()) {
    std::cout << stringify(output) << std::endl;
  }
  return 0;
}


int token(const Flags& flags)
{
  if (flags.uid.isNone() || flags.config.isNone()) {
    return fail("token needs --uid and --config");
  }

  Try<dev_iam::Config> config = dev_iam::readConfig(flags.config.get());
  if (config.isError()) {
    return fail(config.error());
  }

  if (config->generatedKey) {
    return fail(
        "The configuration has no 'private_key': no service would accept "
        "tokens signed with a key made now");
  }

  process::Future<std::string> token = dev_iam::issueToken(
      config->key, flags.uid.get(), process::Clock::now() + flags.lifetime);

  if (!token.isReady()) {
    return fail(token.isFailed() ? token.failure() : "No token");
  }

  std::cout << token.get() << std::endl;
  return 0;
}

} // namespace {


int main(int argc, char** argv)
{
  Flags flags;

  if (argc < 2) {
    return fail(flags.usage());
  }

  const std::string command = argv[1];

  // The command is not a flag: the flags follow it.
  argv[1] = argv[0];
  Try<flags::Warnings> load = flags.load(None(), argc - 1, argv + 1);
  if (load.isError()) {
    return fail(flags.usage(load.error()));
  }

  if (command == "keypair") {
    return keypair(flags);
  } else if (command == "service-account") {
    return serviceAccount(flags);
  } else if (command == "token") {
    return token(flags);
  }

  return fail(flags.usage("Unknown command '" + command + "'"));
}
