// A libprocess message from a peer on the wire: the master's side of a
// classic authentication attempt receives the input as the body of the
// peer's "mesos.internal.AuthenticationStepMessage", sent over a real
// loopback connection so that the server's message decoding runs too. The
// attempt must end, never as an authenticated principal unless the step
// holds the seed corpus's signed token, and the session must be gone once
// terminated.

#include <memory>
#include <string>

#include <openssl/rsa.h>

#include <mesos/authentication/authentication.hpp>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "common/openssl.hpp"
#include "ovra_classic_rpc_authn/authenticator_flags.hpp"
#include "ovra_classic_rpc_authn/authenticator_session.hpp"

#include "fuzz/fuzz_support.hpp"
#include "fuzz/loopback.hpp"
#include "support/test_keys.hpp"

using namespace ovra_test;

using corvanta::ovra::AuthenticatorFlags;
using corvanta::ovra::ClassicAuthenticatorMetrics;
using corvanta::ovra::ClassicRPCAuthenticatorSessionProcess;

namespace {

// The agent's side: it only has to exist; what the session sends it is
// dropped.
class Peer : public process::Process<Peer>
{
public:
  Peer() : process::ProcessBase("peer") {}
};

std::shared_ptr<RSA> key;
AuthenticatorFlags* authenticatorFlags = nullptr;
ClassicAuthenticatorMetrics* metrics = nullptr;
process::UPID peer;

} // namespace {

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  process::initialize();
  Try<std::shared_ptr<RSA>> loaded = openssl::publicKey(test_keys::PUBLIC_KEY);
  if (loaded.isError()) {
    fuzz::fail("the test key does not load: " + loaded.error());
  }
  key = loaded.get();
  authenticatorFlags = new AuthenticatorFlags();
  metrics = new ClassicAuthenticatorMetrics();
  peer = process::spawn(new Peer(), true);
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  ClassicRPCAuthenticatorSessionProcess* session =
      new ClassicRPCAuthenticatorSessionProcess(
          process::ID::generate("ovra_classic_rpc_authenticator_session"),
          peer,
          *authenticatorFlags,
          key,
          *metrics);
  const process::UPID pid = process::spawn(session);

  const process::Future<Option<std::string>> principal = process::dispatch(
      pid, &ClassicRPCAuthenticatorSessionProcess::authenticate);

  const std::string body = fuzz::text(data, size);
  {
    fuzz::Socket socket = fuzz::connectTo(pid.address.port);
    socket.writeAll(
        "POST /" + pid.id +
        "/mesos.internal.AuthenticationStepMessage "
        "HTTP/1.1\r\n"
        "Host: " +
        stringify(pid.address) +
        "\r\n"
        "Libprocess-From: " +
        stringify(peer) +
        "\r\n"
        "Connection: close\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body);
    socket.readUntil();
  }

  fuzz::settle(principal);
  mesos::internal::AuthenticationStepMessage step;
  const bool signedSeed = step.ParsePartialFromString(body) &&
      step.data().substr(0, step.data().rfind('.')) == fuzz::SIGNED_TOKEN_PART;
  if (principal.isReady() && !signedSeed) {
    fuzz::fail(
        "an unsigned step authenticated '" + principal->getOrElse("") + "'");
  }

  process::terminate(pid);
  process::wait(pid);
  delete session;
  return 0;
}
