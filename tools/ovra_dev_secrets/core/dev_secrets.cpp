#include "tools/ovra_dev_secrets/core/dev_secrets.hpp"

#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <glog/logging.h>

#include <process/dispatch.hpp>
#include <process/process.hpp>

#include <stout/json.hpp>
#include <stout/strings.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/jwt.hpp"

using mesos::sentrel::JWT;

using process::Future;
using process::Owned;
using process::Promise;

using process::http::BadRequest;
using process::http::Forbidden;
using process::http::MethodNotAllowed;
using process::http::NotFound;
using process::http::OK;
using process::http::Request;
using process::http::Response;
using process::http::ServiceUnavailable;
using process::http::URL;
using process::http::Unauthorized;

namespace dev_secrets {

namespace {

const char ACTOR[] = "secrets";
const char CHALLENGE[] = "acsjwt";
const char SECRET_ROUTE[] = "/v1/secret/default";
const char PING_ROUTE[] = "/v1/ping";


Response unauthorized(const std::string& reason)
{
  LOG(INFO) << "Refusing secret store request: " << reason;
  return Unauthorized({CHALLENGE}, reason);
}


// The uid of the request's IAM token, or why the token is not accepted.
Try<std::string> authenticate(
    const Request& request,
    const std::shared_ptr<RSA>& key)
{
  const Option<std::string> authorization =
    request.headers.get("Authorization");
  if (authorization.isNone() ||
      !strings::startsWith(authorization.get(), "token=")) {
    return Error("no 'Authorization: token=<jwt>' header");
  }

  // JWT::parse checks the token's form and its expiry.
  Try<JWT> jwt = JWT::parse(
      authorization->substr(std::string("token=").size()));
  if (jwt.isError()) {
    return Error("invalid token: " + jwt.error());
  }

  Try<bool> valid = openssl::validateSignature(
      jwt->header.encoded + "." + jwt->payload.encoded, jwt->signature, key);
  if (valid.isError()) {
    return Error(valid.error());
  }
  if (!valid.get()) {
    return Error("the token of '" + jwt->payload.uid + "' is not the IAM's");
  }

  return jwt->payload.uid;
}


// The secret's name from the request path "/secrets/v1/secret/default/...",
// each component percent-decoded.
Try<std::string> secretName(const std::string& path)
{
  const std::string prefix = std::string("/") + ACTOR + SECRET_ROUTE + "/";
  if (!strings::startsWith(path, prefix)) {
    return Error("no secret name in '" + path + "'");
  }

  std::vector<std::string> components =
    strings::split(path.substr(prefix.size()), "/");
  for (std::string& component : components) {
    Try<std::string> decoded = process::http::decode(component);
    if (decoded.isError()) {
      return Error("malformed secret name: " + decoded.error());
    }
    component = decoded.get();
  }
  return strings::join("/", components);
}

} // namespace {


class DevSecretsProcess : public process::Process<DevSecretsProcess>
{
public:
  DevSecretsProcess(const Secrets& secrets, const std::shared_ptr<RSA>& key)
    : ProcessBase(ACTOR), secrets_(secrets), key_(key) {}

  Nothing answer(const Option<Response>& response)
  {
    answer_ = response;
    return Nothing();
  }

  Nothing hold()
  {
    held_ = true;
    return Nothing();
  }

  Nothing release()
  {
    held_ = false;
    for (auto& [promise, request] : waiting_) {
      promise->associate(serve(request));
    }
    waiting_.clear();
    return Nothing();
  }

  // Not const: Mesos's dispatch takes no const member function.
  size_t requests() { return requests_; }

  Future<Nothing> received(size_t count)
  {
    if (requests_ >= count) {
      return Nothing();
    }
    auto promise = std::make_shared<Promise<Nothing>>();
    arrivals_.emplace_back(count, promise);
    return promise->future();
  }

protected:
  void initialize() override
  {
    route(SECRET_ROUTE, None(), &DevSecretsProcess::secret);
    route(PING_ROUTE, None(), &DevSecretsProcess::ping);
  }

  void finalize() override
  {
    for (auto& [promise, request] : waiting_) {
      promise->set(ServiceUnavailable("The secret store is stopping"));
    }
    waiting_.clear();
  }

private:
  Future<Response> ping(const Request& request)
  {
    if (request.method != "GET") {
      return MethodNotAllowed({"GET"});
    }
    Try<std::string> uid = authenticate(request, key_);
    if (uid.isError()) {
      return unauthorized(uid.error());
    }
    return OK("pong");
  }

  Future<Response> secret(const Request& request)
  {
    ++requests_;
    for (auto it = arrivals_.begin(); it != arrivals_.end();) {
      if (requests_ >= it->first) {
        it->second->set(Nothing());
        it = arrivals_.erase(it);
      } else {
        ++it;
      }
    }

    if (held_) {
      auto promise = std::make_shared<Promise<Response>>();
      waiting_.emplace_back(promise, request);
      return promise->future();
    }

    return serve(request);
  }

  Response serve(const Request& request) const
  {
    if (request.method != "GET") {
      return MethodNotAllowed({"GET"});
    }

    Try<std::string> uid = authenticate(request, key_);
    if (uid.isError()) {
      return unauthorized(uid.error());
    }

    if (answer_.isSome()) {
      return answer_.get();
    }

    Try<std::string> name = secretName(request.url.path);
    if (name.isError()) {
      return BadRequest(name.error());
    }

    auto secret = secrets_.find(name.get());
    if (secret == secrets_.end()) {
      return NotFound("Secret '" + name.get() + "' not found");
    }

    if (secret->second.readers.isSome() &&
        secret->second.readers->count(uid.get()) == 0) {
      LOG(INFO) << "Refusing secret '" << name.get() << "' to '" << uid.get()
                << "'";
      return Forbidden();
    }

    LOG(INFO) << "Serving secret '" << name.get() << "' to '" << uid.get()
              << "'";
    JSON::Object body;
    body.values["value"] = secret->second.value;
    return OK(body);
  }

  const Secrets secrets_;
  const std::shared_ptr<RSA> key_;

  Option<Response> answer_;
  bool held_ = false;
  std::vector<std::pair<std::shared_ptr<Promise<Response>>, Request>>
    waiting_;
  size_t requests_ = 0;
  std::list<std::pair<size_t, std::shared_ptr<Promise<Nothing>>>> arrivals_;
};


Try<Owned<DevSecrets>> DevSecrets::start(
    const Secrets& secrets,
    const std::shared_ptr<RSA>& iamKey)
{
  if (!iamKey) {
    return Error("The secret store needs the IAM service's public key");
  }

  process::initialize();

  DevSecretsProcess* process = new DevSecretsProcess(secrets, iamKey);
  if (!process::spawn(process)) {
    delete process;
    return Error(
        "Could not start the development secret store: an actor named '" +
        std::string(ACTOR) + "' already runs");
  }

  return Owned<DevSecrets>(new DevSecrets(process));
}


DevSecrets::DevSecrets(DevSecretsProcess* process) : process_(process) {}


DevSecrets::~DevSecrets()
{
  process::terminate(process_);
  process::wait(process_);
  delete process_;
}


URL DevSecrets::url() const
{
  const process::network::inet::Address address = process::address();
  return URL("http", address.ip, address.port, STORE_PATH);
}


Future<Nothing> DevSecrets::answer(const Option<Response>& response)
{
  return process::dispatch(process_, &DevSecretsProcess::answer, response);
}


Future<Nothing> DevSecrets::hold()
{
  return process::dispatch(process_, &DevSecretsProcess::hold);
}


Future<Nothing> DevSecrets::release()
{
  return process::dispatch(process_, &DevSecretsProcess::release);
}


Future<size_t> DevSecrets::requests() const
{
  return process::dispatch(process_, &DevSecretsProcess::requests);
}


Future<Nothing> DevSecrets::received(size_t count)
{
  return process::dispatch(process_, &DevSecretsProcess::received, count);
}

} // namespace dev_secrets {
