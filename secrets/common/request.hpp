#ifndef __SECRETS_COMMON_REQUEST_HPP__
#define __SECRETS_COMMON_REQUEST_HPP__

// A task's secrets request: the space and secrets labels of its TaskInfo or
// ExecutorInfo, the parsing of the secrets label and the rules that say
// which secrets a request may name. Pure functions without state.

#include <cstddef>
#include <string>

#include <google/protobuf/repeated_field.h>

#include <mesos/mesos.hpp>

#include <stout/error.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>
#include <stout/try.hpp>

#include "secrets/secrets.pb.h"

namespace mesos {
namespace secrets {

typedef google::protobuf::RepeatedPtrField<corvanta::Secret> Secrets;

// The most secrets one request may name: each is one request to the store,
// all of them in flight at once.
constexpr size_t MAX_SECRETS_PER_REQUEST = 256;

// The value of the first label whose key is exactly `labelName`; the empty
// string for a label without a value; none when no label has that key.
Option<std::string> extractLabel(
    const std::string& labelName,
    const google::protobuf::RepeatedPtrField<mesos::Label>& labels);

// The space label's value, the executor's label winning over the task's;
// none when neither carries it. Never an error.
Result<std::string> extractSpace(
    const std::string& spaceLabelName,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo);

// A secrets label value: a JSON array of Secret objects, in array order.
Try<Secrets> parse(const std::string& value);

// None when the secret `name` may be read from `space`: its directory is
// the space or one of the space's ancestors (empty components do not
// count). Else the out-of-bounds or the not-accessible error.
Option<Error> validateSecretSpace(
    const std::string& space,
    const std::string& name);

// None when `name` can become a store path: none of its components is "."
// or "..", which would name another place of the store.
Option<Error> validateSecretName(const std::string& name);

// The request of the secrets label (the executor's label winning over the
// task's), every secret checked: its type, its name, its place in `space`
// and its variable name. None when there is no secrets label.
Result<Secrets> extractSecrets(
    const std::string& space,
    const std::string& secretsLabelName,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo);

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_REQUEST_HPP__
