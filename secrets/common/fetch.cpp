#include "secrets/common/fetch.hpp"

#include <atomic>
#include <list>
#include <memory>
#include <string>

#include <process/clock.hpp>
#include <process/collect.hpp>

#include <process/metrics/counter.hpp>
#include <process/metrics/timer.hpp>

#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/audit_flags.hpp"
#include "common/logfmt.hpp"
#include "secrets/common/environment.hpp"
#include "secrets/common/limits.hpp"
#include "secrets/common/request.hpp"
#include "secrets/common/store_client.hpp"

using corvanta::LogFmt;

using process::Failure;
using process::Future;

using process::metrics::Counter;

namespace mesos {
namespace secrets {

namespace {

// One allowed step of a fetch, as the audit record of the secrets modules.
void audit(
    const LogFmt& logfmt,
    const std::string& uid,
    const std::string& action,
    const std::string& object,
    const std::string& reason)
{
  LogFmt::Record record;
  record.timestamp = process::Clock::now();
  record.authorizer = LogFmt::Authorizer::MESOS_SECRETS;
  record.uid = uid;
  record.action = action;
  record.object = object;
  record.result = LogFmt::Result::ALLOW;
  record.reason = reason;
  logfmt.write(record);
}


// The store stage, once the IAM token is in: every secret requested at
// once, the answers collected in request order.
Future<Option<mesos::Environment>> fetchFromStore(
    const Flags& flags,
    const LogFmt& logfmt,
    const corvanta::Credential& credential,
    const Secrets& secrets,
    const std::string& token)
{
  audit(logfmt,
        credential.uid(),
        "GET_SIGNED_JWT_FROM_SENTREL",
        credential.login_endpoint(),
        "Call to sentrel successful");

  // Every answer gets an equal share of the fetch's bound, so that the
  // answers in flight at once stay within it however many there are.
  const size_t bodyLimit = answerLimit(secrets.size());
  std::list<Future<std::string>> bodies;
  for (const corvanta::Secret& secret : secrets) {
    bodies.push_back(
        flags.talkToSecretStore(token, secretPath(secret.name()), bodyLimit));
  }

  const std::string uid = credential.uid();
  return process::collect(bodies).then(
      [logfmt, uid, secrets](const std::list<std::string>& bodies)
        -> Future<Option<mesos::Environment>> {
        Try<mesos::Environment> environment =
          resolveEnvironment(secrets, bodies);
        if (environment.isError()) {
          return Failure(environment.error());
        }

        if (logfmt.enabled()) {
          audit(logfmt,
                uid,
                "FETCH_SECRETS_FROM_STORE",
                stringify(JSON::protobuf(secrets)),
                "Call to secrets store successful");
        }

        return Option<mesos::Environment>(environment.get());
      });
}


// The stage of a login-and-store chain that a fetch has reached.
enum class Stage
{
  LOGIN,
  STORE,
};


// Times the chain `fetched` from now, and counts its end: its secrets, or
// its failure by its time limit or else by the stage it stopped in. Only
// the counters and the timer are kept, not their set: a chain that runs
// on past its module does not keep the module's metrics served.
void countEnd(
    const SecretsMetrics& metrics,
    const std::shared_ptr<const std::atomic<Stage>>& stage,
    const Future<Option<mesos::Environment>>& fetched)
{
  process::metrics::Timer<Milliseconds> timer = metrics.fetch;
  timer.time(fetched);

  Counter secrets = metrics.secrets_fetched;
  Counter login = metrics.failures_login;
  Counter store = metrics.failures_store;
  Counter timeout = metrics.failures_timeout;
  fetched.onAny(
      [secrets, login, store, timeout, stage](
          const Future<Option<mesos::Environment>>& fetched) mutable {
        if (fetched.isReady()) {
          if (fetched->isSome()) {
            secrets += fetched->get().variables_size();
          }
        } else if (fetched.isFailed()) {
          if (strings::startsWith(fetched.failure(), CHAIN_TIMED_OUT)) {
            ++timeout;
          } else if (stage->load() == Stage::LOGIN) {
            ++login;
          } else {
            ++store;
          }
        }
      });
}

} // namespace {


Option<std::string> accountUid(const Flags& flags)
{
  if (flags.service_account_credential.isNone()) {
    return None();
  }
  return flags.service_account_credential->uid();
}


Future<Option<mesos::Environment>> fetchSecrets(
    const Flags& flags,
    const mesos::ExecutorInfo& executorInfo,
    const Option<mesos::TaskInfo>& taskInfo,
    const Option<SecretsMetrics>& metrics)
{
  // Copies of the metrics count into the same metrics.
  Option<SecretsMetrics> counts = metrics;
  const auto badRequest = [&counts]() {
    if (counts.isSome()) {
      ++counts->requests;
      ++counts->failures_bad_request;
    }
  };

  const Result<std::string> space =
    extractSpace(flags.special_secret_space_label, executorInfo, taskInfo);
  if (space.isError()) {
    badRequest();
    return Failure(
        "Failed to extract space from label " +
        flags.special_secret_space_label + ": " + space.error());
  }
  if (space.isNone()) {
    return None();
  }

  const Result<Secrets> secrets = extractSecrets(
      space.get(), flags.special_secret_protobuf_label, executorInfo, taskInfo);
  if (secrets.isError()) {
    badRequest();
    return Failure(
        "Failed to extract secrets from label " +
        flags.special_secret_protobuf_label + ": " + secrets.error());
  }
  if (secrets.isNone()) {
    return None();
  }

  const Try<corvanta::Credential> credential = serviceAccount(flags);
  if (credential.isError()) {
    if (counts.isSome()) {
      ++counts->requests;
      ++counts->failures_login;
    }
    return Failure(credential.error());
  }

  const LogFmt logfmt = corvanta::auditLog(flags);
  if (logfmt.enabled()) {
    audit(logfmt,
          credential->uid(),
          "VALIDATE_SECRETS_REQUEST",
          "Space: " + space.get() + " Request: " +
            stringify(JSON::protobuf(secrets.get())),
          "Valid secrets request format");
  }

  const Flags copy = flags;
  const corvanta::Credential account = credential.get();
  const Secrets request = secrets.get();
  const auto stage = std::make_shared<std::atomic<Stage>>(Stage::LOGIN);

  const Future<Option<mesos::Environment>> fetched = withinChainLimit(
      flags, [copy, logfmt, account, request, stage]() {
        return storeLogin(account, copy).then(
            [copy, logfmt, account, request, stage](const std::string& token) {
              stage->store(Stage::STORE);
              return fetchFromStore(copy, logfmt, account, request, token);
            });
      });

  if (counts.isSome()) {
    ++counts->requests;
    countEnd(counts.get(), stage, fetched);
  }
  return fetched;
}


Future<Option<mesos::Environment>> auditFailure(
    const Future<Option<mesos::Environment>>& fetch,
    const LogFmt& logfmt,
    const Option<std::string>& uid,
    const std::function<std::string()>& object)
{
  if (!logfmt.enabled()) {
    return fetch;
  }
  // The record is part of the chain, not a callback beside it: a callback
  // may still be running on the thread that failed `fetch` when a caller
  // that chained on later has already seen the failure.
  return fetch.repair(
      [logfmt, uid, object](const Future<Option<mesos::Environment>>& failed) {
        LogFmt::Record record;
        record.timestamp = process::Clock::now();
        record.authorizer = LogFmt::Authorizer::MESOS_SECRETS;
        record.uid = uid;
        record.action = "FETCH_SECRETS";
        record.object = object();
        record.result = LogFmt::Result::DENY;
        record.reason = failed.failure();
        logfmt.write(record);
        return failed;
      });
}

} // namespace secrets {
} // namespace mesos {
