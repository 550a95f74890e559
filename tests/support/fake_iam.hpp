#ifndef __TESTS_SUPPORT_FAKE_IAM_HPP__
#define __TESTS_SUPPORT_FAKE_IAM_HPP__

// A scripted IAM service for the authorizer's and the classic modules'
// tests, on a FaultPeer: it answers service-account logins and permission
// requests as the test tells it, records what it was sent (the "exp" claim
// of each login token, the principal and token of each permission
// request), and lets the test wait for the n-th request. The peer itself
// is at hand for faults: peer().enqueue(...) or peer().setDefault(...).
// Its state is shared with the peer's thread under a mutex (test code
// only).

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <netinet/in.h>

#include <process/future.hpp>
#include <process/http.hpp>

#include <stout/ip.hpp>
#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/base64url.hpp"

#include "support/fault_peer.hpp"

namespace ovra_test {

class FakeIAM
{
public:
  struct PermissionRequest
  {
    std::string principal;
    std::string path;
    Option<std::string> authorization;
  };

  FakeIAM() : state_(std::make_shared<State>())
  {
    const std::shared_ptr<State> state = state_;
    peer_.setHandler([state](const fault_peer::Request& request) {
      return answer(*state, request);
    });
  }

  FakeIAM(const FakeIAM&) = delete;
  FakeIAM& operator=(const FakeIAM&) = delete;

  // The base URL for the `iam` flag; permission requests must name the
  // users path "/users".
  process::http::URL url() const
  {
    return process::http::URL(
        "http", net::IP(INADDR_LOOPBACK), peer_.port(), PREFIX);
  }

  std::string loginEndpoint() const
  {
    process::http::URL login = url();
    login.path += "/login";
    return stringify(login);
  }

  fault_peer::FaultPeer& peer() { return peer_; }

  // From now on logins answer `code`, with {"token": token} for 200.
  void answerLogins(uint16_t code, const std::string& token)
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->loginCode = code;
    state_->token = token;
  }

  // From now on `principal`'s permissions are answered with `body`.
  void answerPermissions(
      const std::string& principal,
      const std::string& body,
      uint16_t code = 200)
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->permissions[principal] = {code, body};
  }

  // Answers wait until release(); requests are still recorded as they
  // arrive.
  void hold() { peer_.hold(); }
  void release() { peer_.release(); }

  size_t logins() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->loginExpiries.size();
  }

  // The "exp" claims of the login tokens received, in order.
  std::vector<double> loginExpiries() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->loginExpiries;
  }

  std::vector<PermissionRequest> permissionRequests() const
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
  }

  // Ready once the n-th login (counting from 1) has arrived.
  process::Future<Nothing> login(size_t n)
  {
    return arrival(&State::logins, n);
  }

  process::Future<Nothing> permissionRequest(size_t n)
  {
    return arrival(&State::requestArrivals, n);
  }

private:
  static constexpr char PREFIX[] = "/iam";

  struct Arrivals
  {
    size_t count = 0;
    std::multimap<size_t, std::shared_ptr<process::Promise<Nothing>>> waiting;

    // Under the state's mutex; the promises are set by the caller.
    std::vector<std::shared_ptr<process::Promise<Nothing>>> arrive()
    {
      ++count;
      std::vector<std::shared_ptr<process::Promise<Nothing>>> due;
      while (!waiting.empty() && waiting.begin()->first <= count) {
        due.push_back(waiting.begin()->second);
        waiting.erase(waiting.begin());
      }
      return due;
    }
  };

  struct State
  {
    std::mutex mutex;
    uint16_t loginCode = 200;
    std::string token = "token";
    std::map<std::string, std::pair<uint16_t, std::string>> permissions;
    std::vector<double> loginExpiries;
    std::vector<PermissionRequest> requests;
    Arrivals logins;
    Arrivals requestArrivals;
  };

  static fault_peer::Answer answer(
      State& state,
      const fault_peer::Request& request)
  {
    const std::string path = request.path();
    if (path == std::string(PREFIX) + "/login") {
      return login(state, request);
    }
    if (strings::startsWith(path, std::string(PREFIX) + "/users/")) {
      return permissions(state, request);
    }
    return fault_peer::Answer::notFound();
  }

  // The "exp" claim of the login token in the body, 0 if none.
  static double loginExpiry(const std::string& body)
  {
    Try<JSON::Object> object = JSON::parse<JSON::Object>(body);
    if (object.isError()) {
      return 0;
    }
    Result<JSON::String> jwt = object->at<JSON::String>("token");
    if (!jwt.isSome()) {
      return 0;
    }
    const std::vector<std::string> parts = strings::split(jwt->value, ".");
    if (parts.size() != 3) {
      return 0;
    }
    Try<std::string> payload = base64::decode_uri(parts[1]);
    if (payload.isError()) {
      return 0;
    }
    Try<JSON::Object> claims = JSON::parse<JSON::Object>(payload.get());
    if (claims.isError()) {
      return 0;
    }
    Result<JSON::Number> exp = claims->at<JSON::Number>("exp");
    return exp.isSome() ? exp->as<double>() : 0;
  }

  static fault_peer::Answer login(
      State& state,
      const fault_peer::Request& request)
  {
    const double exp = loginExpiry(request.body);

    uint16_t code;
    std::string token;
    std::vector<std::shared_ptr<process::Promise<Nothing>>> due;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.loginExpiries.push_back(exp);
      code = state.loginCode;
      token = state.token;
      due = state.logins.arrive();
    }
    for (auto& promise : due) {
      promise->set(Nothing());
    }

    fault_peer::Answer answer;
    answer.code = code;
    if (code == 200) {
      JSON::Object body;
      body.values["token"] = token;
      answer = fault_peer::Answer::json(stringify(body));
    }
    return answer;
  }

  static fault_peer::Answer permissions(
      State& state,
      const fault_peer::Request& request)
  {
    // "/iam/users/<principal>/permissions"
    const std::string path = request.path();
    const std::vector<std::string> tokens = strings::tokenize(path, "/");
    std::string principal = "?";
    if (tokens.size() == 4) {
      Try<std::string> decoded = process::http::decode(tokens[2]);
      if (decoded.isSome()) {
        principal = decoded.get();
      }
    }

    const std::optional<std::string> authorization =
        request.header("Authorization");

    fault_peer::Answer answer = fault_peer::Answer::notFound();
    std::vector<std::shared_ptr<process::Promise<Nothing>>> due;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      state.requests.push_back(PermissionRequest{
          principal,
          path,
          authorization.has_value() ? Option<std::string>(*authorization)
                                    : Option<std::string>()});

      auto found = state.permissions.find(principal);
      if (found != state.permissions.end()) {
        answer =
            fault_peer::Answer::json(found->second.second, found->second.first);
      }
      due = state.requestArrivals.arrive();
    }
    for (auto& arrived : due) {
      arrived->set(Nothing());
    }
    return answer;
  }

  process::Future<Nothing> arrival(Arrivals State::*arrivals, size_t n)
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if ((state_.get()->*arrivals).count >= n) {
      return Nothing();
    }
    auto promise = std::make_shared<process::Promise<Nothing>>();
    (state_.get()->*arrivals).waiting.emplace(n, promise);
    return promise->future();
  }

  const std::shared_ptr<State> state_;

  // Last: destroyed first, so that no handler runs on a state being torn
  // down.
  fault_peer::FaultPeer peer_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_FAKE_IAM_HPP__
