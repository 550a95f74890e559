#ifndef __TESTS_SUPPORT_FAKE_IAM_HPP__
#define __TESTS_SUPPORT_FAKE_IAM_HPP__

// A scripted IAM service for the authorizer's tests: an actor on this
// process's HTTP server that answers service-account logins and permission
// requests as the test tells it, records what it was sent, and lets the
// test wait for the n-th request. Its state is shared with the test thread
// under a mutex (test code only).

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/strings.hpp>

#include "common/sentrel/base64url.hpp"

class FakeIAM
{
public:
  struct PermissionRequest
  {
    std::string principal;
    std::string path;
    Option<std::string> authorization;
  };

  FakeIAM() : state_(std::make_shared<State>()), process_(new Process(state_))
  {
    process::spawn(process_);
  }

  ~FakeIAM()
  {
    release();
    process::terminate(process_);
    process::wait(process_);
    delete process_;
  }

  FakeIAM(const FakeIAM&) = delete;
  FakeIAM& operator=(const FakeIAM&) = delete;

  // The base URL for the `iam` flag; permission requests must name the
  // users path "/users".
  process::http::URL url() const
  {
    const process::UPID pid = process_->self();
    return process::http::URL(
        "http", pid.address.ip, pid.address.port, "/" + pid.id);
  }

  std::string loginEndpoint() const
  {
    process::http::URL login = url();
    login.path += "/login";
    return stringify(login);
  }

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

  // Permission answers wait until release().
  void hold()
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->holding = true;
  }

  void release()
  {
    std::vector<std::pair<
        std::shared_ptr<process::Promise<process::http::Response>>,
        process::http::Response>> held;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->holding = false;
      held.swap(state_->held);
    }
    for (auto& [promise, response] : held) {
      promise->set(response);
    }
  }

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
    bool holding = false;
    std::vector<std::pair<
        std::shared_ptr<process::Promise<process::http::Response>>,
        process::http::Response>> held;
    std::vector<double> loginExpiries;
    std::vector<PermissionRequest> requests;
    Arrivals logins;
    Arrivals requestArrivals;
  };

  class Process : public process::Process<Process>
  {
  public:
    explicit Process(const std::shared_ptr<State>& state)
      : ProcessBase(process::ID::generate("fake_iam")), state_(state) {}

  protected:
    void initialize() override
    {
      route("/login", None(), [this](const process::http::Request& request) {
        return login(request);
      });
      route("/users", None(), [this](const process::http::Request& request) {
        return permissions(request);
      });
    }

  private:
    process::Future<process::http::Response> login(
        const process::http::Request& request)
    {
      double exp = 0;
      Try<JSON::Object> body = JSON::parse<JSON::Object>(request.body);
      if (body.isSome()) {
        Result<JSON::String> jwt = body->at<JSON::String>("token");
        if (jwt.isSome()) {
          const std::vector<std::string> parts =
            strings::split(jwt->value, ".");
          Try<std::string> payload = parts.size() == 3
            ? base64::decode_uri(parts[1])
            : Try<std::string>(Error("malformed"));
          Try<JSON::Object> claims = payload.isSome()
            ? JSON::parse<JSON::Object>(payload.get())
            : Try<JSON::Object>(Error(payload.error()));
          if (claims.isSome()) {
            Result<JSON::Number> number = claims->at<JSON::Number>("exp");
            if (number.isSome()) {
              exp = number->as<double>();
            }
          }
        }
      }

      uint16_t code;
      std::string token;
      std::vector<std::shared_ptr<process::Promise<Nothing>>> due;
      {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->loginExpiries.push_back(exp);
        code = state_->loginCode;
        token = state_->token;
        due = state_->logins.arrive();
      }
      for (auto& promise : due) {
        promise->set(Nothing());
      }

      if (code != 200) {
        return process::http::Response(code);
      }

      JSON::Object answer;
      answer.values["token"] = token;
      return process::http::OK(stringify(answer));
    }

    process::Future<process::http::Response> permissions(
        const process::http::Request& request)
    {
      // "/<id>/users/<principal>/permissions"
      const std::vector<std::string> tokens =
        strings::tokenize(request.url.path, "/");
      std::string principal = "?";
      if (tokens.size() == 4) {
        Try<std::string> decoded = process::http::decode(tokens[2]);
        if (decoded.isSome()) {
          principal = decoded.get();
        }
      }

      process::http::Response response = process::http::NotFound();
      std::shared_ptr<process::Promise<process::http::Response>> promise;
      std::vector<std::shared_ptr<process::Promise<Nothing>>> due;
      {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->requests.push_back(PermissionRequest{
            principal,
            request.url.path,
            request.headers.get("Authorization")});

        auto answer = state_->permissions.find(principal);
        if (answer != state_->permissions.end()) {
          response = process::http::Response(
              answer->second.second, answer->second.first, "application/json");
        }

        if (state_->holding) {
          promise =
            std::make_shared<process::Promise<process::http::Response>>();
          state_->held.emplace_back(promise, response);
        }
        due = state_->requestArrivals.arrive();
      }
      for (auto& arrived : due) {
        arrived->set(Nothing());
      }

      if (promise != nullptr) {
        return promise->future();
      }
      return response;
    }

    const std::shared_ptr<State> state_;
  };

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
  Process* process_;
};

#endif // __TESTS_SUPPORT_FAKE_IAM_HPP__
