#include "tools/ovra_host/host_process.hpp"

#include <glog/logging.h>

#include <process/defer.hpp>

#include <stout/duration.hpp>
#include <stout/json.hpp>
#include <stout/protobuf.hpp>

#include "common/sentrel/bounded_json.hpp"
#include "ovra_auth/authorization_explainer.hpp"

namespace authz = mesos::authorization;

using mesos::ovra::AuthorizationExplainer;
using mesos::ovra::AuthorizationExplanation;

using process::Future;

using process::http::BadRequest;
using process::http::Forbidden;
using process::http::MethodNotAllowed;
using process::http::OK;
using process::http::Request;
using process::http::Response;

namespace ovra_host {

namespace {

// Lines about clients that start over: the first few, then one a second.
constexpr size_t RESTART_LINE_BURST = 5;
const Duration RESTART_LINE_INTERVAL = Seconds(1);


JSON::Object toJSON(const AuthorizationExplanation& explanation)
{
  JSON::Array required;
  for (const AuthorizationExplanation::Requirement& requirement :
       explanation.required) {
    JSON::Object entry;
    entry.values["resource_id"] = requirement.resourceId;
    entry.values["action"] = requirement.action;

    if (requirement.grantedBy.isSome()) {
      JSON::Object grant;
      grant.values["resource_id"] = requirement.grantedBy->resourceId;
      grant.values["actions"] = requirement.grantedBy->actions;
      entry.values["granted_by"] = grant;
    }

    required.values.push_back(entry);
  }

  JSON::Object body;
  body.values["decision"] = explanation.allowed ? "allow" : "deny";
  body.values["principal"] = explanation.principal;
  body.values["required"] = required;
  return body;
}

} // namespace {


HostProcess::HostProcess(
    const std::string& role,
    const std::string& realm,
    const Option<mesos::Authorizer*>& authorizer,
    const Option<mesos::Authenticator*>& authenticator)
  : ProcessBase(role),
    role_(role),
    realm_(realm),
    authorizer_(authorizer),
    authenticator_(authenticator),
    restartLines_(RESTART_LINE_BURST, RESTART_LINE_INTERVAL) {}


void HostProcess::initialize()
{
  install<mesos::internal::AuthenticateMessage>(
      &HostProcess::authenticate, &mesos::internal::AuthenticateMessage::pid);

  route("/state", realm_, None(), &HostProcess::describe);
  route("/flags", realm_, None(), &HostProcess::describe);
  route("/authorize", realm_, None(), &HostProcess::authorize);

  route("/health", None(), [](const Request&) -> Future<Response> {
    return OK(std::string("{\"healthy\":true}"), "application/json");
  });
}


Future<Response> HostProcess::describe(
    const Request& request,
    const Option<std::string>& principal)
{
  // Only the path is kept for the answer, not a copy of the request.
  return authorizeEndpoint(request, principal)
    .then(defer(self(), [this, path = request.url.path, principal](
                            bool authorized) -> Response {
      if (!authorized) {
        return Forbidden();
      }

      JSON::Object body;
      body.values["role"] = role_;
      body.values["path"] = path;
      if (principal.isSome()) {
        body.values["principal"] = principal.get();
      }

      return OK(body);
    }));
}


Future<Response> HostProcess::authorize(
    const Request& request,
    const Option<std::string>& principal)
{
  if (request.method != "POST") {
    return MethodNotAllowed({"POST"}, request.method);
  }

  // The body is shared, not copied, along the continuation.
  const std::shared_ptr<const std::string> body =
    std::make_shared<const std::string>(request.body);

  return authorizeEndpoint(request, principal)
    .then(defer(self(), [this, body](bool authorized) -> Future<Response> {
      if (!authorized) {
        return Forbidden();
      }

      return answer(*body);
    }));
}


Future<bool> HostProcess::authorizeEndpoint(
    const Request& request,
    const Option<std::string>& principal)
{
  if (authorizer_.isNone()) {
    return true;
  }

  authz::Request question;
  question.set_action(authz::GET_ENDPOINT_WITH_PATH);
  if (principal.isSome()) {
    question.mutable_subject()->set_value(principal.get());
  }
  question.mutable_object()->set_value(request.url.path);

  LOG(INFO) << "Authorizing principal '"
            << (principal.isSome() ? principal.get() : "ANY")
            << "' to GET the endpoint '" << request.url.path << "'";

  return authorizer_.get()->authorized(question);
}


Future<Response> HostProcess::answer(const std::string& body)
{
  const Try<JSON::Object> object = mesos::sentrel::parseJson<JSON::Object>(body);
  if (object.isError()) {
    return BadRequest(
        "The question is not a JSON object: " + object.error() + "\n");
  }

  const Try<authz::Request> question =
    protobuf::parse<authz::Request>(object.get());
  if (question.isError()) {
    return BadRequest(
        "The question is not a mesos.authorization.Request: " +
        question.error() + "\n");
  }

  if (authorizer_.isNone()) {
    return BadRequest("This host has no authorizer\n");
  }

  // Failures are answers too: the operator learns why the authorizer could
  // not decide.
  const auto failed = [](const Future<Response>& future) -> Future<Response> {
    JSON::Object body;
    body.values["decision"] = "error";
    body.values["error"] =
      future.isFailed() ? future.failure() : std::string("discarded");
    return OK(body);
  };

  AuthorizationExplainer* explainer =
    dynamic_cast<AuthorizationExplainer*>(authorizer_.get());

  if (explainer == nullptr) {
    return authorizer_.get()->authorized(question.get())
      .then([](bool allowed) -> Response {
        JSON::Object body;
        body.values["decision"] = allowed ? "allow" : "deny";
        return OK(body);
      })
      .repair(failed);
  }

  return explainer->explain(question.get())
    .then([](const AuthorizationExplanation& explanation) -> Response {
      return OK(toJSON(explanation));
    })
    .repair(failed);
}

} // namespace ovra_host {
