#include "ovra_classic_rpc_authn/authenticator.hpp"

#include <netinet/in.h>

#include <glog/logging.h>

#include <process/defer.hpp>
#include <process/dispatch.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/error.hpp>
#include <stout/hashset.hpp>
#include <stout/ip.hpp>
#include <stout/lambda.hpp>

#include "common/module_factory.hpp"
#include "common/sentrel/jwk.hpp"
#include "ovra_classic_rpc_authn/authenticator_session.hpp"
#include "ovra_classic_rpc_authn/unguessable_id.hpp"

using std::shared_ptr;
using std::string;

using process::Failure;
using process::Future;
using process::UPID;

using process::http::URL;

namespace corvanta {
namespace ovra {

namespace {

constexpr uint16_t SENTREL_PORT = 8101;

// The key query's own time limit, and how long prepare() waits for it.
constexpr Duration SENTREL_KEY_QUERY_LIMIT = Seconds(2);
constexpr Duration SENTREL_KEY_WAIT_LIMIT = Seconds(3);

constexpr char KEY_FAILURE[] = "Failed to retrieve Sentrel public key";

} // namespace {


class ClassicRPCAuthenticatorProcess
  : public process::Process<ClassicRPCAuthenticatorProcess>
{
public:
  ClassicRPCAuthenticatorProcess(
      const AuthenticatorFlags& flags,
      const shared_ptr<RSA>& sentrelPublicKey,
      const ClassicAuthenticatorMetrics& metrics)
    : ProcessBase(process::ID::generate("ovra_classic_rpc_authenticator")),
      flags_(flags),
      sentrelPublicKey_(sentrelPublicKey),
      metrics_(metrics) {}

  // A new session for every attempt, even several from one peer.
  Future<Option<string>> authenticate(const UPID& pid)
  {
    const Try<string> id =
      unguessableId("ovra_classic_rpc_authenticator_session");
    if (id.isError()) {
      ++metrics_.sessions_failed;
      return Failure(id.error());
    }

    ClassicRPCAuthenticatorSessionProcess* session =
      new ClassicRPCAuthenticatorSessionProcess(
          id.get(), pid, flags_, sentrelPublicKey_, metrics_);
    process::spawn(session);
    sessions_.insert(session);

    const Future<Option<string>> future = process::dispatch(
        session, &ClassicRPCAuthenticatorSessionProcess::authenticate);

    future.onAny(defer(self(), &Self::_authenticate, session));

    return future;
  }

protected:
  // Sessions still running when the module goes end with it; their
  // attempts fail.
  void finalize() override
  {
    for (ClassicRPCAuthenticatorSessionProcess* session : sessions_) {
      destroy(session);
    }
    sessions_.clear();
  }

private:
  void _authenticate(ClassicRPCAuthenticatorSessionProcess* session)
  {
    if (sessions_.erase(session) == 0) {
      return;
    }

    VLOG(1) << "Destroying the session process for " << session->self();
    destroy(session);
  }

  static void destroy(ClassicRPCAuthenticatorSessionProcess* session)
  {
    process::terminate(session);
    process::wait(session);
    delete session;
  }

  const AuthenticatorFlags flags_;
  const shared_ptr<RSA> sentrelPublicKey_;
  ClassicAuthenticatorMetrics metrics_;
  hashset<ClassicRPCAuthenticatorSessionProcess*> sessions_;
};


URL ClassicRPCAuthenticator::sentrelPublicKeyURL()
{
  return mesos::sentrel::JWK::jwksURL(
      URL("http", net::IP(INADDR_LOOPBACK), SENTREL_PORT));
}


ClassicRPCAuthenticator::ClassicRPCAuthenticator() : process_(nullptr) {}


ClassicRPCAuthenticator::~ClassicRPCAuthenticator()
{
  if (process_ != nullptr) {
    process::terminate(process_);
    process::wait(process_);
    delete process_;
  }
}


Try<Nothing> ClassicRPCAuthenticator::initialize(
    const Option<mesos::Credentials>&)
{
  return Nothing();
}


Future<Option<string>> ClassicRPCAuthenticator::authenticate(const UPID& pid)
{
  if (process_ == nullptr) {
    ++metrics_.sessions_failed;
    return Failure("The authenticator has not been prepared");
  }

  return process::dispatch(
      process_, &ClassicRPCAuthenticatorProcess::authenticate, pid);
}


Try<Nothing> ClassicRPCAuthenticator::prepare(
    const mesos::Parameters& parameters)
{
  // The authenticator may share its configuration with other modules:
  // parameters that name none of its flags are theirs.
  Try<Nothing> load = loadModuleFlags(&flags_, parameters, /*unknowns=*/true);
  if (load.isError()) {
    return load;
  }

  Try<Nothing> key = updateSentrelPublicKey();
  if (key.isError()) {
    return key;
  }

  process_ =
    new ClassicRPCAuthenticatorProcess(flags_, sentrelPublicKey_, metrics_);
  process::spawn(process_);

  return Nothing();
}


Try<Nothing> ClassicRPCAuthenticator::updateSentrelPublicKey()
{
  ++metrics_.key_fetches;

  Future<shared_ptr<RSA>> key = mesos::sentrel::JWK::querySentrelPublicKey(
      sentrelPublicKeyURL(), SENTREL_KEY_QUERY_LIMIT);

  key.await(SENTREL_KEY_WAIT_LIMIT);

  if (key.isReady()) {
    sentrelPublicKey_ = key.get();
    return Nothing();
  }

  ++metrics_.key_fetch_failures;

  if (key.isFailed()) {
    return Error(string(KEY_FAILURE) + ": " + key.failure());
  }

  // Still pending: nobody waits for it any more.
  key.discard();
  return Error(KEY_FAILURE);
}

} // namespace ovra {
} // namespace corvanta {
