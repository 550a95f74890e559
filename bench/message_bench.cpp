#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

#include <stout/nothing.hpp>

#include "support/child_process.hpp"

using namespace ovra_test;

// Messages between OS processes: round trips to a libprocess peer in
// another process (tests/peers/message_peer.cpp) over loopback, beside a
// dispatch round trip to an actor of this process in the same run.

namespace {

// Sends "echo" messages and counts the answers.
class PingProcess : public process::Process<PingProcess>
{
public:
  PingProcess() : ProcessBase(process::ID::generate("ping")) {}

  // Sends `count` messages at once; the future is ready when all came back.
  process::Future<Nothing> ping(const process::UPID& to, int count)
  {
    promise_.reset(new process::Promise<Nothing>());
    outstanding_ = count;
    for (int i = 0; i < count; ++i) {
      send(to, "echo", "ping", 4);
    }
    return promise_->future();
  }

  int echo(int x) { return x; }

protected:
  void initialize() override
  {
    install("echoed", [this](const process::UPID&, const std::string&) {
      if (--outstanding_ == 0) {
        promise_->set(Nothing());
      }
    });
  }

private:
  std::unique_ptr<process::Promise<Nothing>> promise_;
  int outstanding_ = 0;
};


struct Peer
{
  Peer()
    : child(OVRA_MESSAGE_PEER, {}, {"LIBPROCESS_IP=127.0.0.1", "LIBPROCESS_PORT=0"}),
      pid(child.readLine())
  {
    process::spawn(ping);
  }

  ChildProcess child;
  process::UPID pid;
  PingProcess ping;
};


Peer& peer()
{
  static Peer* peer = new Peer();
  return *peer;
}


// One message there and its answer back, `state.range(0)` in flight.
void BM_RemoteRoundTrip(benchmark::State& state)
{
  Peer& p = peer();
  const int inFlight = static_cast<int>(state.range(0));
  for (auto _ : state) {
    process::dispatch(p.ping.self(), &PingProcess::ping, p.pid, inFlight).await();
  }
  state.SetItemsProcessed(state.iterations() * inFlight);
}
BENCHMARK(BM_RemoteRoundTrip)->Arg(1)->Arg(64)->UseRealTime();


// Baseline: a dispatch to an actor of this process and its answer back.
void BM_LocalDispatchRoundTrip(benchmark::State& state)
{
  Peer& p = peer();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        process::dispatch(p.ping.self(), &PingProcess::echo, i++).get());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LocalDispatchRoundTrip)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
