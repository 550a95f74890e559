#ifndef __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__
#define __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__

// The endpoints of the host, served by an actor named after its role
// ("master" or "agent") as Mesos's own are. "/<role>/health" is open.
// "/<role>/state", "/<role>/flags" and "/<role>/authorize" require
// authentication through the realm's HTTP authenticator and, when the host
// has an authorizer, authorization as Mesos authorizes its endpoints:
// GET_ENDPOINT_WITH_PATH on the request's path, 403 on deny.
//
// "/<role>/authorize" answers an operator's authorization question: a
// POSTed mesos.authorization.Request in JSON, such as
//
//   {"subject": {"value": "bob"}, "action": "RUN_TASK",
//    "object": {"task_info": {...}, "framework_info": {...}}}
//
// with the decision, and, from an authorizer that explains itself, the
// principal that decided and every resource id required with the
// permission that granted it.
//
// As a master with a classic Authenticator module, the actor (id "master")
// also takes mesos.internal.AuthenticateMessage as Mesos 1.2.0's master
// does: it runs the authenticator for the message's sender, discards an
// attempt that takes longer than 5 seconds, and remembers the principal
// that each peer authenticated as. Unlike 1.2.0's master, whose work and
// log grow with the square of the AuthenticateMessages that a client
// repeats while an attempt is under way, it keeps one restart per client.

#include <map>
#include <string>

#include <mesos/authentication/authenticator.hpp>
#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/option.hpp>

#include "tools/ovra_host/log_throttle.hpp"

namespace ovra_host {

class HostProcess : public ProtobufProcess<HostProcess>
{
public:
  // `authorizer` and `authenticator`, when given, must outlive the actor.
  HostProcess(
      const std::string& role,
      const std::string& realm,
      const Option<mesos::Authorizer*>& authorizer,
      const Option<mesos::Authenticator*>& authenticator = None());

protected:
  void initialize() override;

private:
  // The answer of "/state" and "/flags": the role, the path and the
  // principal.
  process::Future<process::http::Response> describe(
      const process::http::Request& request,
      const Option<std::string>& principal);

  process::Future<process::http::Response> authorize(
      const process::http::Request& request,
      const Option<std::string>& principal);

  // Whether `principal` may use the endpoint at the request's path; true
  // without an authorizer.
  process::Future<bool> authorizeEndpoint(
      const process::http::Request& request,
      const Option<std::string>& principal);

  // The answer to the question in `body`.
  process::Future<process::http::Response> answer(const std::string& body);

  // Classic authentication of the peer `from` on behalf of the client
  // `pid` (the text of its AuthenticateMessage).
  void authenticate(const process::UPID& from, const std::string& pid);
  void _authenticate(
      const std::string& pid,
      const process::Future<Option<std::string>>& future);
  void authenticationTimeout(process::Future<Option<std::string>> future);

  const std::string role_;
  const std::string realm_;
  const Option<mesos::Authorizer*> authorizer_;
  const Option<mesos::Authenticator*> authenticator_;

  // Attempts under way and principals authenticated, by client pid.
  std::map<std::string, process::Future<Option<std::string>>> authenticating_;
  std::map<std::string, std::string> authenticated_;

  // Clients that started over while an attempt was under way: the sender
  // of the latest AuthenticateMessage, whose attempt starts when the
  // running one has ended. However many messages a client repeats, its
  // running attempt is discarded once and one attempt follows it.
  std::map<std::string, process::UPID> restarts_;
  LogThrottle restartLines_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__
