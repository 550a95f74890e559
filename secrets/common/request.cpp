#include "secrets/common/request.hpp"

#include <string>
#include <vector>

#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/bounded_json.hpp"
#include "secrets/common/environment.hpp"

namespace mesos {
namespace secrets {

namespace {

// The label's value, looked up in the executor's labels first and in the
// task's only when the executor has no labels at all or lacks the key.
Option<std::string> lookUpLabel(
    const std::string& labelName,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo)
{
  if (executorInfo.has_labels()) {
    const Option<std::string> value =
      extractLabel(labelName, executorInfo.labels().labels());
    if (value.isSome()) {
      return value;
    }
  }

  if (taskInfo.isSome() && taskInfo->has_labels()) {
    return extractLabel(labelName, taskInfo->labels().labels());
  }

  return None();
}

} // namespace {


Option<std::string> extractLabel(
    const std::string& labelName,
    const google::protobuf::RepeatedPtrField<mesos::Label>& labels)
{
  for (const mesos::Label& label : labels) {
    if (label.key() == labelName) {
      return label.value();
    }
  }
  return None();
}


Result<std::string> extractSpace(
    const std::string& spaceLabelName,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo)
{
  const Option<std::string> space =
    lookUpLabel(spaceLabelName, executorInfo, taskInfo);
  if (space.isNone()) {
    return None();
  }
  return space.get();
}


Try<Secrets> parse(const std::string& value)
{
  Try<JSON::Array> array = sentrel::parseJson<JSON::Array>(value);
  if (array.isError()) {
    return Error("Failed to parse value as json: " + array.error());
  }

  if (array->values.size() > MAX_SECRETS_PER_REQUEST) {
    return Error(
        "A request names " + stringify(array->values.size()) +
        " secrets, more than the " + stringify(MAX_SECRETS_PER_REQUEST) +
        " allowed");
  }

  Try<Secrets> secrets = ::protobuf::parse<Secrets>(array.get());
  if (secrets.isError()) {
    return Error(
        "Failed to convert JSON value to the 'Secrets' schema:" +
        secrets.error());
  }

  return secrets.get();
}


Option<Error> validateSecretSpace(
    const std::string& space,
    const std::string& name)
{
  const std::vector<std::string> spaceComponents =
    strings::tokenize(space, "/");
  const std::vector<std::string> nameComponents =
    strings::tokenize(name, "/");

  // The secret's directory: its components but the last. A name without
  // components has no place in any space.
  if (nameComponents.empty() ||
      nameComponents.size() - 1 > spaceComponents.size()) {
    return Error(
        "Requested secret '" + name + "' is out of bounds of: " + space);
  }

  const size_t depth = nameComponents.size() - 1;
  for (size_t i = 0; i < depth; ++i) {
    if (nameComponents[i] != spaceComponents[i]) {
      return Error(
          "Requested secret '" + name + "' is not accessible from: " + space);
    }
  }

  return None();
}


Option<Error> validateSecretName(const std::string& name)
{
  for (const std::string& component : strings::split(name, "/")) {
    if (component == "." || component == "..") {
      return Error(
          "Requested secret '" + name + "' holds the path component '" +
          component + "'");
    }
  }
  return None();
}


Result<Secrets> extractSecrets(
    const std::string& space,
    const std::string& secretsLabelName,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo)
{
  const Option<std::string> value =
    lookUpLabel(secretsLabelName, executorInfo, taskInfo);
  if (value.isNone()) {
    return None();
  }

  Try<Secrets> secrets = parse(value.get());
  if (secrets.isError()) {
    return Error(
        "Invalid contents for label " + secretsLabelName + ": " +
        secrets.error());
  }

  for (const corvanta::Secret& secret : secrets.get()) {
    if (secret.type() == corvanta::Secret::UNKNOWN) {
      return Error("Unsupported secret type");
    }

    Option<Error> error = validateSecretSpace(space, secret.name());
    if (error.isNone()) {
      error = validateSecretName(secret.name());
    }
    if (error.isSome()) {
      return error.get();
    }

    Try<std::string> name = variableName(secret);
    if (name.isError()) {
      return Error(name.error());
    }
  }

  return secrets.get();
}

} // namespace secrets {
} // namespace mesos {
