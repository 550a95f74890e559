// The SSL modules' `executor_environment` flag as an operator gives it: a
// JSON object of string members, at most a bounded size. What parses is
// exactly the object's members, and an environment built on it always
// ends with the libprocess SSL variables the modules compute.

#include <map>
#include <string>

#include <stout/json.hpp>
#include <stout/try.hpp>

#include "ssl_exec/environment.hpp"
#include "ssl_exec/flags.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

using namespace corvanta::ovra::ssl_executor;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string input = fuzz::text(data, size);

  Try<std::map<std::string, std::string>> variables =
      executorEnvironment(input);
  if (variables.isError()) {
    return 0;
  }

  Try<JSON::Object> object = JSON::parse<JSON::Object>(input);
  if (object.isError() || object->values.size() < variables->size()) {
    fuzz::fail("variables from something that is not their JSON object");
  }

  Flags flags;
  flags.executor_environment = input;
  Try<mesos::Environment> environment = prepareEnvironment(flags, "/sandbox");
  if (environment.isError()) {
    return 0;
  }
  const int count = environment->variables_size();
  if (count < 7 ||
      environment->variables(count - 7).name().rfind("LIBPROCESS_SSL_", 0) !=
          0) {
    fuzz::fail("the computed SSL variables do not close the environment");
  }
  return 0;
}
