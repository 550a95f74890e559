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

#include <string>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>

namespace ovra_host {

class HostProcess : public process::Process<HostProcess>
{
public:
  // `authorizer`, when given, must outlive the actor.
  HostProcess(
      const std::string& role,
      const std::string& realm,
      const Option<mesos::Authorizer*>& authorizer);

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

  const std::string role_;
  const std::string realm_;
  const Option<mesos::Authorizer*> authorizer_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__
