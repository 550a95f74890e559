#include "ovra_auth/authenticator.hpp"

#include <memory>
#include <vector>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/dispatch.hpp>
#include <process/process.hpp>

#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "common/audit_flags.hpp"
#include "common/sentrel/jwt.hpp"
#include "ovra_auth/authenticator_process.hpp"

using std::string;

using corvanta::LogFmt;

using process::Clock;
using process::Future;

using process::http::Request;
using process::http::Unauthorized;
using process::http::authentication::AuthenticationResult;

using mesos::sentrel::JWT;

namespace mesos {
namespace ovra {

namespace {

constexpr char SCHEME[] = "acsjwt";


// The token of an "Authorization: token=<JWT>" header; the token may be
// empty and may hold further '='.
Try<string> extractToken(const Request& request)
{
  const Option<string> authorization = request.headers.get("Authorization");
  if (authorization.isNone()) {
    return Error("Missing 'Authorization' header from HTTP request");
  }

  const std::vector<string> pieces =
    strings::split(authorization.get(), "=", 2);
  if (pieces.size() != 2 || pieces[0] != "token") {
    return Error("Missing 'token' in 'Authorization' HTTP header");
  }

  return pieces[1];
}


// What every audit record of one request shares; copied into the
// continuation that decides after the signature check.
struct RequestAudit
{
  void write(
      const Option<string>& uid,
      LogFmt::Result result,
      const string& reason) const
  {
    logfmt.log(
        Clock::now(),
        authorizer,
        uid,
        method,
        object,
        result,
        reason,
        source,
        destination,
        agent);
  }

  LogFmt logfmt;
  LogFmt::Authorizer authorizer;
  string method;
  string object;
  Option<process::network::Address> source;
  Option<process::network::Address> destination;
  Option<string> agent;
};

} // namespace {


Try<process::http::authentication::Authenticator*>
OVRAHTTPAuthenticator::create(const Flags& flags)
{
  return new OVRAHTTPAuthenticator(flags, None());
}


OVRAHTTPAuthenticator::OVRAHTTPAuthenticator(
    const Flags& flags,
    const Option<SignatureValidator>& validateSignature)
  : process_(new OVRAHTTPAuthenticatorProcess(
        flags, validateSignature, metrics_)),
    flags_(flags),
    logfmt_(corvanta::auditLog(flags))
{
  process::spawn(process_.get());
}


OVRAHTTPAuthenticator::~OVRAHTTPAuthenticator()
{
  process::terminate(process_.get());
  process::wait(process_.get());
}


string OVRAHTTPAuthenticator::scheme() const
{
  return SCHEME;
}


Future<AuthenticationResult> OVRAHTTPAuthenticator::authenticate(
    const Request& request)
{
  AuthenticationResult unauthorized;
  unauthorized.unauthorized = Unauthorized({scheme()});

  RequestAudit audit{
      logfmt_,
      corvanta::hostAuthorizer(flags_),
      request.method,
      stringify(request.url),
      request.client,
      process::network::Address(process_->self().address),
      request.headers.get("User-Agent")};

  const Try<string> token = extractToken(request);

  if (token.isError() && flags_.anonymous_principal.isNone()) {
    LOG(WARNING) << "Error in token: " << token.error();
    ++metrics_.denied_no_token;
    audit.write(None(), LogFmt::Result::DENY, token.error());
    return unauthorized;
  }

  if (token.isError()) {
    const string& anonymous = flags_.anonymous_principal.get();
    ++metrics_.allowed_anonymous;

    audit.write(
        None(),
        LogFmt::Result::ALLOW,
        "Error in token '" + token.error() + "'. Allowing anonymous connection");

    LOG(WARNING) << "Error in token on request from '"
                 << (request.client.isSome() ? stringify(request.client.get())
                                             : string("unknown address"))
                 << "': " << token.error();
    LOG(WARNING) << "Falling back to anonymous connection using user '"
                 << anonymous << "'";

    AuthenticationResult result;
    result.principal = anonymous;
    return result;
  }

  // A token that is present but bad never falls back to anonymous.
  const Try<JWT> jwt = JWT::parse(token.get());
  if (jwt.isError()) {
    LOG(WARNING) << jwt.error();
    ++(JWT::expired(jwt.error()) ? metrics_.denied_expired
                            : metrics_.denied_bad_token);
    audit.write(None(), LogFmt::Result::DENY, jwt.error());
    return unauthorized;
  }

  const string uid = jwt->payload.uid;
  // The counts that the outcome raises: copies share them.
  process::metrics::Counter allowed = metrics_.allowed;
  process::metrics::Counter denied = metrics_.denied_bad_signature;
  process::metrics::Counter failed = metrics_.failed;

  return process::dispatch(
             process_.get(),
             &OVRAHTTPAuthenticatorProcess::validateSignature,
             token.get(),
             jwt.get())
    .then([=](bool valid) mutable -> AuthenticationResult {
      if (!valid) {
        ++denied;
        audit.write(
            uid, LogFmt::Result::DENY, "Invalid authorization token signature");
        return unauthorized;
      }

      ++allowed;
      VLOG(1) << "Authenticated principal '" << uid << "'";
      audit.write(uid, LogFmt::Result::ALLOW, "Valid authorization token");

      AuthenticationResult result;
      result.principal = uid;
      return result;
    })
    .onFailed([failed](const string&) mutable { ++failed; });
}

} // namespace ovra {
} // namespace mesos {
