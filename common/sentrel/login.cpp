#include "common/sentrel/login.hpp"

#include <memory>
#include <string>

#include <process/clock.hpp>
#include <process/http.hpp>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/os/read.hpp>
#include <stout/protobuf.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/bounded_request.hpp"
#include "common/sentrel/json_field.hpp"
#include "common/sentrel/jwt.hpp"

using process::Failure;
using process::Future;

using process::http::Headers;
using process::http::Response;
using process::http::URL;

namespace mesos {
namespace sentrel {

namespace {

const char CONTEXT[] = "service account configuration";


// The string field `name` of a service-account file.
Try<std::string> accountField(
    const JSON::Object& account,
    const std::string& name)
{
  Try<const JSON::String*> field = requiredField<JSON::String>(
      account, name, CONTEXT, "Could not locate '" + name + "' is " + CONTEXT);
  if (field.isError()) {
    return Error(field.error());
  }

  return field.get()->value;
}


Future<std::string> _getSignedTokenFromSentrel(const Response& response)
{
  if (response.status != "200 OK") {
    return Failure("Sentrel returned status: " + response.status);
  }

  Try<JSON::Object> object = parseJson<JSON::Object>(response.body);
  if (object.isError()) {
    return Failure("Failed to parse Sentrel response json: " + object.error());
  }

  Try<corvanta::SentrelResponse> answer =
    ::protobuf::parse<corvanta::SentrelResponse>(object.get());

  if (answer.isError()) {
    return Failure("Failed to parse Sentrel response: " + answer.error());
  }

  return answer->token();
}


// `step` as it completes, its failure reading "<words>: <failure>" and a
// discard "<words>" alone.
Future<std::string> worded(
    const Future<std::string>& step,
    const std::string& words)
{
  auto promise = std::make_shared<process::Promise<std::string>>();

  step.onAny([words, promise](const Future<std::string>& step) {
    if (step.isReady()) {
      promise->set(step.get());
    } else if (step.isFailed()) {
      promise->fail(words + ": " + step.failure());
    } else {
      promise->fail(words);
    }
  });

  const Future<std::string> result = promise->future();
  result.onDiscard([step]() { Future<std::string>(step).discard(); });
  return result;
}

} // namespace {


Try<corvanta::Credential> getCredentialFromServiceAccountJson(const Path& path)
{
  Try<std::string> content = os::read(path.string());
  if (content.isError()) {
    return Error(
        "Could not read service account configuration: " + content.error());
  }

  Try<JSON::Object> account = parseJson<JSON::Object>(content.get());
  if (account.isError()) {
    return Error(
        "Could not parse service account configuration: " + account.error());
  }

  Try<std::string> privateKey = accountField(account.get(), "private_key");
  if (privateKey.isError()) {
    return Error(privateKey.error());
  }

  Try<std::string> uid = accountField(account.get(), "uid");
  if (uid.isError()) {
    return Error(uid.error());
  }

  corvanta::Credential credential;
  credential.set_uid(uid.get());
  credential.set_private_key(privateKey.get());
  return credential;
}


Future<std::string> getSignedTokenFromSentrel(
    const corvanta::Credential& credential,
    const std::string& jwt,
    const Option<process::Time>& exp,
    const Duration& timeout)
{
  JSON::Object body;
  body.values["token"] = jwt;
  body.values["uid"] = credential.uid();
  if (exp.isSome()) {
    body.values["exp"] = exp->secs();
  }

  Try<URL> url = URL::parse(credential.login_endpoint());
  if (url.isError()) {
    return Failure("Failed to parse the login endpoint: " + url.error());
  }

  const Future<Response> response = boundedPost(
      url.get(),
      Headers({{"Content-Type", "application/json"}}),
      stringify(body),
      RequestLimits{timeout, "Failed to contact Sentrel: Timed out after "});

  return response.then(&_getSignedTokenFromSentrel);
}



Future<std::string> serviceAccountLogin(
    const corvanta::Credential& credential,
    const Duration& lifetime,
    const Duration& timeout,
    const Option<LoginFailureWords>& words)
{
  Future<std::string> jwt =
    JWT::generateRS256(credential, process::Clock::now() + lifetime);

  if (words.isSome()) {
    jwt = worded(jwt, words->generate);
  }

  return jwt.then([credential, timeout, words](const std::string& jwt) {
    Future<std::string> token =
      getSignedTokenFromSentrel(credential, jwt, None(), timeout);
    return words.isSome() ? worded(token, words->exchange) : token;
  });
}

} // namespace sentrel {
} // namespace mesos {
