// The service-account credential flag as an operator gives it: a JSON
// object with the account's uid, scheme and private key, or (deprecated)
// the path of a file holding one. Paths are left out: the input would
// name files of this machine.

#include <string>

#include <stout/flags/parse.hpp>
#include <stout/strings.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "common/sentrel.pb.h"
#include "common/sentrel/flag_parsers.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string input = fuzz::text(data, size);
  if (strings::startsWith(strings::trim(input), "/") ||
      strings::startsWith(input, "file://")) {
    return 0;
  }

  Try<corvanta::Credential> credential =
      flags::parse<corvanta::Credential>(input);
  if (credential.isSome()) {
    // What the flag prints (help texts, logs) never holds the key.
    const std::string printed = stringify(credential.get());
    if (!credential->private_key().empty() &&
        printed.find(credential->private_key()) != std::string::npos &&
        credential->uid().find(credential->private_key()) ==
            std::string::npos) {
      fuzz::fail("a printed credential holds its private key");
    }
  }
  return 0;
}
