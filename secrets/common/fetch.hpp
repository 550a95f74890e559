#ifndef __SECRETS_COMMON_FETCH_HPP__
#define __SECRETS_COMMON_FETCH_HPP__

// The fetch of a task's secrets, shared by the secrets hook and isolator:
// the request from the labels, one service-account login, every secret
// from the store at once, and the environment they make. Each fetch owns
// copies of what it needs; fetches share nothing.

#include <functional>
#include <string>

#include <mesos/mesos.hpp>

#include <process/future.hpp>

#include <stout/none.hpp>
#include <stout/option.hpp>

#include "common/logfmt.hpp"
#include "secrets/common/metrics.hpp"
#include "secrets/flags.hpp"

namespace mesos {
namespace secrets {

// None when the task or executor asks for no secrets (no space label, or
// no secrets label): then nothing is audited and nothing is sent.
// Otherwise the environment of the requested secrets, in request order,
// after the audit records of the validated request, of the login and of
// the store's answers. Failures carry the failing step's message; the
// login and store stage is bounded by `network_timeout`. Returns at once.
// With `metrics`, a request is counted, and its end before the future
// completes.
process::Future<Option<mesos::Environment>> fetchSecrets(
    const Flags& flags,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo,
    const Option<SecretsMetrics>& metrics = None());


// The uid of the service account that fetches log in as, if one is given:
// the uid that audit records of the fetches name.
Option<std::string> accountUid(const Flags& flags);


// `fetch` as it completes; should it fail, one "FETCH_SECRETS" deny
// record with its failure as the reason is written first, its object made
// by `object` (called only when the record is written).
process::Future<Option<mesos::Environment>> auditFailure(
    const process::Future<Option<mesos::Environment>>& fetch,
    const corvanta::LogFmt& logfmt,
    const Option<std::string>& uid,
    const std::function<std::string()>& object);

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_COMMON_FETCH_HPP__
