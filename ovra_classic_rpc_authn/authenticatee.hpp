#ifndef __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATEE_HPP__
#define __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATEE_HPP__

// The client side of Mesos's message-based authentication: a framework's
// scheduler driver or an agent proves to the master that it acts as the
// configured service account by handing over a token that the IAM service
// issued for that account. One object serves one attempt; its actor,
// ClassicRPCAuthenticateeProcess, holds the attempt's state.

#include <mesos/authentication/authenticatee.hpp>
#include <mesos/mesos.hpp>

#include <process/future.hpp>
#include <process/pid.hpp>

#include <process/metrics/counter.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

#include "common/metric_set.hpp"
#include "common/sentrel/flags.hpp"

namespace corvanta {
namespace ovra {

class ClassicRPCAuthenticateeProcess;


// The authenticatee's counts. Every call of authenticate() ends in exactly
// one of them. Mesos makes an authenticatee for each attempt and deletes it
// afterwards, so the counts belong to the OS process: every authenticatee
// counts into one set, made with the first and kept until the process
// exits.
struct ClassicAuthenticateeMetrics
{
  MetricSet set{"ovra/classic_authenticatee"};

  // The master accepted the token.
  process::metrics::Counter logins = set.counter("logins");

  // Refused by the master, or failed: an error, a discard, a broken
  // precondition.
  process::metrics::Counter failures = set.counter("failures");
};


class ClassicRPCAuthenticatee : public mesos::Authenticatee
{
public:
  ClassicRPCAuthenticatee();

  // Terminates the actor and waits for it; a pending attempt fails with
  // "Authentication discarded".
  ~ClassicRPCAuthenticatee() override;

  ClassicRPCAuthenticatee(const ClassicRPCAuthenticatee&) = delete;
  ClassicRPCAuthenticatee& operator=(const ClassicRPCAuthenticatee&) = delete;

  // Loads the flags from the parameters (a parameter that names no flag
  // is an error) and from "OVRA_<flag>" environment variables, which the
  // parameters beat. Fails with "Failed to parse parameters: " and the
  // load error.
  Try<Nothing> prepare(const mesos::Parameters& parameters);

  // Authenticates `client` with the master `pid`. True when the master
  // accepts the token, false when it refuses it; fails on any error, when
  // discarded, when called a second time, and when `credential`'s
  // principal is not the service account's uid.
  process::Future<bool> authenticate(
      const process::UPID& pid,
      const process::UPID& client,
      const mesos::Credential& credential) override;

private:
  mesos::sentrel::Flags flags_;
  ClassicAuthenticateeMetrics metrics_;
  ClassicRPCAuthenticateeProcess* process_;
};

} // namespace ovra {
} // namespace corvanta {

#endif // __OVRA_CLASSIC_RPC_AUTHN_AUTHENTICATEE_HPP__
