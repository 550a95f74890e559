#include <list>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <mesos/authentication/authentication.hpp>
#include <mesos/authentication/authenticator.hpp>
#include <mesos/module/authenticator.hpp>

#include <process/collect.hpp>
#include <process/future.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include "common/openssl.hpp"
#include "common/sentrel/jwt.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/test_keys.hpp"

using namespace ovra_test;

// Classic authentications per second on the master's side: the
// authenticator module with N peers authenticating at once, each answering
// the session's step with an IAM-signed token, beside the bare signature
// check of that token in the same run. Run with LIBPROCESS_PORT=8101: the
// authenticator fetches its key from 127.0.0.1:8101, where this process
// serves the development IAM service.

extern mesos::modules::Module<mesos::Authenticator>
  com_corvanta_ovra_ClassicRPCAuthenticator;

namespace {

using mesos::internal::AuthenticationStepMessage;

// Answers the session's step with its token.
class PeerProcess : public ProtobufProcess<PeerProcess>
{
public:
  explicit PeerProcess(const std::string& token)
    : ProcessBase(process::ID::generate("peer")), token_(token) {}

protected:
  void initialize() override
  {
    install<AuthenticationStepMessage>(&PeerProcess::step);
  }

private:
  void step(const process::UPID& from)
  {
    AuthenticationStepMessage answer;
    answer.set_data(token_);
    send(from, answer);
  }

  const std::string token_;
};


struct Master
{
  Master()
  {
    dev_iam::Config config;
    config.key = {test_keys::PRIVATE_KEY, test_keys::PUBLIC_KEY};
    iam = dev_iam::DevIAM::start(config).get();
    token = iam->issueToken("agent-1").get();

    mesos::Parameters parameters;
    mesos::Parameter* audit = parameters.add_parameter();
    audit->set_key("audit_log");
    audit->set_value("false");
    authenticator.reset(com_corvanta_ovra_ClassicRPCAuthenticator.create(parameters));
  }

  process::Owned<dev_iam::DevIAM> iam;
  std::string token;
  std::unique_ptr<mesos::Authenticator> authenticator;
};


Master& master()
{
  static Master* master = new Master();
  return *master;
}


void BM_ClassicAuthentications(benchmark::State& state)
{
  Master& m = master();
  if (m.authenticator == nullptr) {
    state.SkipWithError("no authenticator (run with LIBPROCESS_PORT=8101)");
    return;
  }

  const size_t peers = static_cast<size_t>(state.range(0));
  std::vector<std::unique_ptr<PeerProcess>> running;
  for (size_t i = 0; i < peers; ++i) {
    running.emplace_back(new PeerProcess(m.token));
    process::spawn(running.back().get());
  }

  for (auto _ : state) {
    std::list<process::Future<Option<std::string>>> outcomes;
    for (const auto& peer : running) {
      outcomes.push_back(m.authenticator->authenticate(peer->self()));
    }
    process::collect(outcomes).await();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * peers));

  for (const auto& peer : running) {
    process::terminate(peer.get());
    process::wait(peer.get());
  }
}
BENCHMARK(BM_ClassicAuthentications)->Arg(1)->Arg(32)->UseRealTime();


// Baseline: the signature check of the same token, which every
// authentication makes once.
void BM_SignatureCheckBaseline(benchmark::State& state)
{
  Master& m = master();
  const std::shared_ptr<RSA> key =
    openssl::publicKey(std::string(test_keys::PUBLIC_KEY)).get();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        mesos::sentrel::validateSignature(m.token, key).get());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SignatureCheckBaseline)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
