#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/dispatch.hpp>
#include <process/process.hpp>

#include <stout/json.hpp>
#include <stout/result.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/bounded_json.hpp"
#include "common/sentrel/json_field.hpp"
#include "common/sentrel/jwt.hpp"

using mesos::sentrel::JWT;
using mesos::sentrel::extractField;

using process::Clock;
using process::Future;
using process::Owned;
using process::Time;

using process::http::BadRequest;
using process::http::MethodNotAllowed;
using process::http::NotFound;
using process::http::OK;
using process::http::Request;
using process::http::Response;
using process::http::URL;
using process::http::Unauthorized;

namespace dev_iam {

namespace {

const char ACTOR[] = "acs";
const char CHALLENGE[] = "acsjwt";


Response unauthorized(const std::string& reason)
{
  LOG(INFO) << "Refusing IAM request: " << reason;
  return Unauthorized({CHALLENGE}, reason);
}


// True if `token` parses, has not expired and is signed by `key`.
Try<Nothing> verify(const std::string& token, const std::shared_ptr<RSA>& key)
{
  Try<JWT> jwt = JWT::parse(token);
  if (jwt.isError()) {
    return Error(jwt.error());
  }

  Try<bool> valid = openssl::validateSignature(
      jwt->header.encoded + "." + jwt->payload.encoded, jwt->signature, key);

  if (valid.isError()) {
    return Error(valid.error());
  }

  if (!valid.get()) {
    return Error(
        "Invalid signature of the token for '" + jwt->payload.uid + "'");
  }

  return Nothing();
}

} // namespace {


class DevIAMProcess : public process::Process<DevIAMProcess>
{
public:
  DevIAMProcess(
      const Config& config,
      const std::shared_ptr<RSA>& key,
      const std::map<std::string, std::shared_ptr<RSA>>& accounts,
      const JSON::Object& jwks)
    : ProcessBase(ACTOR),
      config_(config),
      key_(key),
      accounts_(accounts),
      jwks_(jwks) {}

  Nothing answer(Endpoint endpoint, const Option<Response>& response)
  {
    if (response.isSome()) {
      answers_[endpoint] = response.get();
    } else {
      answers_.erase(endpoint);
    }
    return Nothing();
  }

  // Not const: Mesos's dispatch takes no const member function.
  size_t requests(Endpoint endpoint)
  {
    auto count = requests_.find(endpoint);
    return count == requests_.end() ? 0 : count->second;
  }

protected:
  void initialize() override
  {
    route("/api/v1/auth/jwks", None(), &DevIAMProcess::jwks);
    route("/api/v1/auth/login", None(), &DevIAMProcess::login);
    route("/api/v1/users", None(), &DevIAMProcess::permissions);

    // A request path with two leading slashes ("//acs/api/v1/users/...")
    // reaches this actor with the actor's name still in the route.
    route("/acs/api/v1/users", None(), &DevIAMProcess::permissions);
  }

private:
  Future<Response> jwks(const Request& /*request*/)
  {
    ++requests_[Endpoint::JWKS];
    if (answers_.count(Endpoint::JWKS) > 0) {
      return answers_.at(Endpoint::JWKS);
    }
    return OK(jwks_);
  }

  Future<Response> login(const Request& request)
  {
    ++requests_[Endpoint::LOGIN];
    if (answers_.count(Endpoint::LOGIN) > 0) {
      return answers_.at(Endpoint::LOGIN);
    }

    if (request.method != "POST") {
      return MethodNotAllowed({"POST"});
    }

    Try<JSON::Object> body = mesos::sentrel::parseJson<JSON::Object>(request.body);
    if (body.isError()) {
      return BadRequest("Invalid login request: " + body.error());
    }

    Result<const JSON::String*> uid =
      extractField<JSON::String>(body.get(), "uid", "login request");
    Result<const JSON::String*> token =
      extractField<JSON::String>(body.get(), "token", "login request");
    Result<const JSON::Number*> exp =
      extractField<JSON::Number>(body.get(), "exp", "login request");

    if (uid.isError() || token.isError() || exp.isError()) {
      return BadRequest(
          uid.isError() ? uid.error()
          : token.isError() ? token.error() : exp.error());
    }

    if (uid.isNone() || token.isNone()) {
      return BadRequest("A login request needs 'uid' and 'token'");
    }

    auto account = accounts_.find(uid.get()->value);
    if (account == accounts_.end()) {
      return unauthorized("Unknown service account '" + uid.get()->value + "'");
    }

    // The login token must be the account's own, bounded in time, and
    // signed with the account's key.
    Try<JWT> jwt = JWT::parse(token.get()->value);
    if (jwt.isError()) {
      return unauthorized("Invalid login token: " + jwt.error());
    }

    if (jwt->payload.uid != uid.get()->value) {
      return unauthorized(
          "Login token of '" + jwt->payload.uid + "' presented for '" +
          uid.get()->value + "'");
    }

    if (jwt->payload.exp.isNone() || jwt->payload.exp.get() == 0) {
      return unauthorized(
          "Login token of '" + uid.get()->value + "' has no expiry");
    }

    Try<Nothing> verified = verify(token.get()->value, account->second);
    if (verified.isError()) {
      return unauthorized(verified.error());
    }

    // The issued token lives for the token lifetime, or less if the
    // account asked for an earlier expiry.
    Time expiry = Clock::now() + config_.tokenLifetime;
    if (exp.isSome()) {
      Try<Duration> requested = Duration::create(exp.get()->as<double>());
      if (requested.isSome() && Time::epoch() + requested.get() < expiry) {
        expiry = Time::epoch() + requested.get();
      }
    }

    LOG(INFO) << "Service account '" << uid.get()->value << "' logged in";

    return issueToken(config_.key, uid.get()->value, expiry)
      .then([](const std::string& issued) -> Response {
        JSON::Object answer;
        answer.values["token"] = issued;
        return OK(answer);
      });
  }

  // GET .../users/<uid>/permissions
  Future<Response> permissions(const Request& request)
  {
    ++requests_[Endpoint::PERMISSIONS];
    if (answers_.count(Endpoint::PERMISSIONS) > 0) {
      return answers_.at(Endpoint::PERMISSIONS);
    }

    const std::vector<std::string> tokens =
      strings::tokenize(request.url.path, "/");

    size_t users = 0;
    while (users < tokens.size() && tokens[users] != "users") {
      ++users;
    }

    if (users + 3 != tokens.size() || tokens[users + 2] != "permissions") {
      return NotFound();
    }

    Try<std::string> uid = process::http::decode(tokens[users + 1]);
    if (uid.isError()) {
      return BadRequest("Invalid user id: " + uid.error());
    }

    if (config_.requireAuthorization) {
      const Option<std::string> authorization =
        request.headers.get("Authorization");

      if (authorization.isNone() ||
          !strings::startsWith(authorization.get(), "token=")) {
        return unauthorized("Permissions requested without a token");
      }

      Try<Nothing> verified = verify(
          authorization->substr(std::string("token=").size()), key_);

      if (verified.isError()) {
        return unauthorized(verified.error());
      }
    }

    auto user = config_.users.find(uid.get());
    if (user == config_.users.end()) {
      return NotFound("User '" + uid.get() + "' not found");
    }

    return OK(user->second);
  }

  const Config config_;
  const std::shared_ptr<RSA> key_;
  const std::map<std::string, std::shared_ptr<RSA>> accounts_;
  const JSON::Object jwks_;

  std::map<Endpoint, Response> answers_;
  std::map<Endpoint, size_t> requests_;
};


Try<Owned<DevIAM>> DevIAM::start(const Config& config)
{
  Try<std::shared_ptr<RSA>> key = openssl::publicKey(config.key.publicKey);
  if (key.isError()) {
    return Error("Invalid key of the IAM service: " + key.error());
  }

  Try<JSON::Object> jwk = dev_iam::jwk(key.get(), "dev-iam");
  if (jwk.isError()) {
    return Error(jwk.error());
  }

  JSON::Object jwks;
  jwks.values["keys"] = JSON::Array{{jwk.get()}};

  std::map<std::string, std::shared_ptr<RSA>> accounts;
  for (const auto& [uid, publicKey] : config.serviceAccounts) {
    Try<std::shared_ptr<RSA>> accountKey = openssl::publicKey(publicKey);
    if (accountKey.isError()) {
      return Error(
          "Invalid key of service account '" + uid + "': " +
          accountKey.error());
    }
    accounts[uid] = accountKey.get();
  }

  process::initialize();

  DevIAMProcess* process = new DevIAMProcess(config, key.get(), accounts, jwks);
  if (!process::spawn(process)) {
    delete process;
    return Error(
        "Could not start the development IAM service: an actor named '" +
        std::string(ACTOR) + "' already runs");
  }

  return Owned<DevIAM>(new DevIAM(config, process));
}


DevIAM::DevIAM(const Config& config, DevIAMProcess* process)
  : config_(config), process_(process) {}


DevIAM::~DevIAM()
{
  process::terminate(process_);
  process::wait(process_);
  delete process_;
}


URL DevIAM::url() const
{
  const process::network::inet::Address address = process::address();
  return URL("http", address.ip, address.port, "/");
}


URL DevIAM::jwksUrl() const
{
  URL url = this->url();
  url.path = JWKS_PATH;
  return url;
}


std::string DevIAM::loginEndpoint() const
{
  URL url = this->url();
  url.path = LOGIN_PATH;
  return stringify(url);
}


Future<std::string> DevIAM::issueToken(const std::string& uid) const
{
  return dev_iam::issueToken(
      config_.key, uid, Clock::now() + config_.tokenLifetime);
}


Future<Nothing> DevIAM::answer(
    Endpoint endpoint,
    const Option<Response>& response)
{
  return process::dispatch(
      process_, &DevIAMProcess::answer, endpoint, response);
}


Future<size_t> DevIAM::requests(Endpoint endpoint) const
{
  return process::dispatch(process_, &DevIAMProcess::requests, endpoint);
}


Future<std::string> issueToken(
    const KeyPair& key,
    const std::string& uid,
    const Time& exp)
{
  return JWT::generateRS256(rs256Credential(uid, key.privateKey), exp);
}


corvanta::Credential rs256Credential(
    const std::string& uid,
    const std::string& privateKey,
    const Option<std::string>& loginEndpoint)
{
  corvanta::Credential credential;
  credential.set_scheme("RS256");
  credential.set_uid(uid);
  credential.set_private_key(privateKey);
  if (loginEndpoint.isSome()) {
    credential.set_login_endpoint(loginEndpoint.get());
  }
  return credential;
}

} // namespace dev_iam {
