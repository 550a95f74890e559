// A task's secrets request as its labels carry it: the space (the input's
// first line) and the secrets label (the rest), on the executor or on the
// task. A request that passes the checks may only name secrets in the
// space or its ancestors, each becoming a store path that stays below the
// store's root, and a variable name an environment can hold.

#include <string>
#include <vector>

#include <mesos/mesos.hpp>

#include <process/http.hpp>

#include <stout/result.hpp>
#include <stout/strings.hpp>

#include "secrets/common/environment.hpp"
#include "secrets/common/request.hpp"
#include "secrets/common/store_client.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

namespace {

std::vector<std::string> components(const std::string& path)
{
  std::vector<std::string> result;
  for (const std::string& token : strings::split(path, "/")) {
    if (!token.empty()) {
      result.push_back(token);
    }
  }
  return result;
}


// The rule, written out plainly: the secret's directory is the space or
// one of its ancestors.
bool inSpace(const std::string& space, const std::string& name)
{
  std::vector<std::string> directory = components(name);
  if (!directory.empty()) {
    directory.pop_back();
  }
  const std::vector<std::string> spaceComponents = components(space);
  if (directory.size() > spaceComponents.size()) {
    return false;
  }
  for (size_t i = 0; i < directory.size(); ++i) {
    if (directory[i] != spaceComponents[i]) {
      return false;
    }
  }
  return true;
}


void check(const std::string& space, const corvanta::Secret& secret)
{
  const std::string& name = secret.name();
  if (!inSpace(space, name)) {
    fuzz::fail("'" + name + "' was accepted outside space '" + space + "'");
  }

  const std::string path = mesos::secrets::secretPath(name);
  const std::string root = "secret/default/";
  if (!strings::startsWith(path, root)) {
    fuzz::fail("store path '" + path + "' is not below the store's root");
  }
  for (const std::string& component :
       strings::split(path.substr(root.size()), "/")) {
    if (component == "." || component == "..") {
      fuzz::fail("store path '" + path + "' leaves its place");
    }
    Try<std::string> decoded = process::http::decode(component);
    if (decoded.isError() || decoded->find('/') != std::string::npos) {
      fuzz::fail("store path component '" + component + "' is not one name");
    }
  }

  Try<std::string> variable = mesos::secrets::variableName(secret);
  if (variable.isError() || variable->empty() ||
      variable->find('=') != std::string::npos ||
      variable->find('\0') != std::string::npos) {
    fuzz::fail("an accepted secret has no usable variable name");
  }
}

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string input = fuzz::text(data, size);
  const size_t newline = input.find('\n');
  const std::string space =
      newline == std::string::npos ? "/" : input.substr(0, newline);
  const std::string label =
      newline == std::string::npos ? input : input.substr(newline + 1);

  mesos::secrets::parse(label);
  for (const std::string& name : {std::string("a"), space + "/x", label}) {
    mesos::secrets::validateSecretSpace(space, name);
    mesos::secrets::validateSecretName(name);
  }

  mesos::ExecutorInfo executor;
  mesos::TaskInfo task;
  mesos::Label* spaceLabel = task.mutable_labels()->add_labels();
  spaceLabel->set_key("SPACE");
  spaceLabel->set_value(space);
  mesos::Label* secretsLabel = task.mutable_labels()->add_labels();
  secretsLabel->set_key("SECRETS");
  secretsLabel->set_value(label);

  Result<std::string> found =
      mesos::secrets::extractSpace("SPACE", executor, task);
  if (!found.isSome() || found.get() != space) {
    fuzz::fail("the task's space label was not found as it stands");
  }

  Result<mesos::secrets::Secrets> secrets =
      mesos::secrets::extractSecrets(space, "SECRETS", executor, task);
  if (secrets.isNone()) {
    fuzz::fail("a secrets label was not seen");
  }
  if (secrets.isSome()) {
    if (static_cast<size_t>(secrets->size()) >
        mesos::secrets::MAX_SECRETS_PER_REQUEST) {
      fuzz::fail("a request passed with too many secrets");
    }
    for (const corvanta::Secret& secret : secrets.get()) {
      check(space, secret);
    }
  }
  return 0;
}
