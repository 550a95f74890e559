#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/defer.hpp>
#include <process/delay.hpp>
#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/lambda.hpp>
#include <stout/nothing.hpp>
#include <stout/stringify.hpp>

using process::Clock;
using process::Failure;
using process::Future;
using process::PID;
using process::Process;
using process::ProcessBase;
using process::Promise;
using process::UPID;

using std::string;
using std::vector;

namespace {

// Records what it handles, and whether two of its events ever ran at once.
class RecorderProcess : public Process<RecorderProcess>
{
public:
  RecorderProcess() : ProcessBase(process::ID::generate("recorder")) {}

  void record(int sender, int sequence)
  {
    if (busy_.exchange(true)) {
      overlapped_ = true;
    }
    threads_.insert(std::this_thread::get_id());
    events_.push_back({sender, sequence});
    busy_.store(false);
  }

  void append(const string& text) { log_ += text; }

  string log() const { return log_; }

  int twice(int x) { return 2 * x; }

  Future<int> later(int x)
  {
    return promise_.future().then([x](int y) { return x + y; });
  }

  void release(int y) { promise_.set(y); }

  Future<bool> overlapped() { return overlapped_; }

  Future<vector<std::pair<int, int>>> events() { return events_; }

  Future<size_t> threads() { return threads_.size(); }

  Future<string> text() { return log_; }

  // Holds the actor until `gate` is set; `started` tells when it holds.
  Future<Nothing> block(
      Future<Nothing> gate,
      std::shared_ptr<Promise<Nothing>> started)
  {
    started->set(Nothing());
    gate.await();
    return Nothing();
  }

protected:
  void initialize() override { log_ += "initialize;"; }
  void finalize() override { log_ += "finalize;"; }

private:
  std::atomic<bool> busy_{false};
  bool overlapped_ = false;
  std::set<std::thread::id> threads_;
  vector<std::pair<int, int>> events_;
  string log_;
  Promise<int> promise_;
};


class LinkerProcess : public Process<LinkerProcess>
{
public:
  explicit LinkerProcess(const UPID& target) : target_(target) {}

  Future<UPID> exitedPid() { return exited_.future(); }

protected:
  void initialize() override { link(target_); }
  void exited(const UPID& pid) override { exited_.set(pid); }

private:
  const UPID target_;
  Promise<UPID> exited_;
};


class FinalizeLogProcess : public Process<FinalizeLogProcess>
{
public:
  explicit FinalizeLogProcess(std::atomic<int>* finalized)
    : finalized_(finalized)
  {}

protected:
  void finalize() override { ++*finalized_; }

private:
  std::atomic<int>* finalized_;
};

} // namespace {


TEST(ProcessTest, OneThreadAtATimeAndEventsInOrderPerSender)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  const int senders = 4;
  const int perSender = 500;
  vector<std::thread> threads;
  for (int sender = 0; sender < senders; ++sender) {
    threads.emplace_back([pid, sender]() {
      for (int i = 0; i < perSender; ++i) {
        process::dispatch(pid, &RecorderProcess::record, sender, i);
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }

  Future<vector<std::pair<int, int>>> events =
      process::dispatch(pid, &RecorderProcess::events);
  AWAIT_ASSERT_READY(events);
  ASSERT_EQ(static_cast<size_t>(senders * perSender), events->size());

  vector<int> next(senders, 0);
  for (const auto& event : events.get()) {
    ASSERT_EQ(next[event.first], event.second) << "sender " << event.first;
    ++next[event.first];
  }

  AWAIT_EXPECT_EQ(false, process::dispatch(pid, &RecorderProcess::overlapped));

  process::terminate(pid);
  process::wait(pid);
}


TEST(ProcessTest, InitializeRunsFirstAndFinalizeLast)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  process::dispatch(pid, &RecorderProcess::append, string("a;"));
  AWAIT_EXPECT_EQ(
      "initialize;a;", process::dispatch(pid, &RecorderProcess::text));

  process::terminate(pid);
  process::wait(pid);
  EXPECT_EQ("initialize;a;finalize;", recorder.log());
}


TEST(ProcessTest, DispatchGivesVoidValueAndFutureResults)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  AWAIT_EXPECT_EQ(42, process::dispatch(pid, &RecorderProcess::twice, 21));

  Future<int> later = process::dispatch(pid, &RecorderProcess::later, 1);
  process::dispatch(pid, &RecorderProcess::release, 2);
  AWAIT_EXPECT_EQ(3, later);

  AWAIT_EXPECT_EQ(string("lambda"), process::dispatch(pid, []() {
                    return string("lambda");
                  }));

  Future<int> failing = process::dispatch(
      pid, []() -> Future<int> { return Failure("lambda failed"); });
  AWAIT_EXPECT_FAILURE_EQ("lambda failed", failing);

  process::terminate(pid);
  process::wait(pid);
}


TEST(ProcessTest, DispatchToAnEndedActorIsDiscarded)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);
  process::terminate(pid);
  process::wait(pid);

  AWAIT_EXPECT_DISCARDED(process::dispatch(pid, &RecorderProcess::twice, 1));
  AWAIT_EXPECT_DISCARDED(
      process::dispatch(UPID("nobody@127.0.0.1:1"), []() { return 1; }));
}


TEST(ProcessTest, InjectedTerminateDropsQueuedEventsAndDiscardsTheirFutures)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  // Hold the actor in one event while more queue up behind it.
  Promise<Nothing> gate;
  auto started = std::make_shared<Promise<Nothing>>();
  Future<Nothing> blocked =
      process::dispatch(pid, &RecorderProcess::block, gate.future(), started);
  AWAIT_ASSERT_READY(started->future());
  Future<int> queued = process::dispatch(pid, &RecorderProcess::twice, 1);

  process::terminate(pid, true);
  gate.set(Nothing());

  AWAIT_EXPECT_READY(blocked);
  AWAIT_EXPECT_DISCARDED(queued);
  process::wait(pid);
  EXPECT_EQ("initialize;finalize;", recorder.log());
}


TEST(ProcessTest, TerminateWithoutInjectRunsQueuedEventsFirst)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  Promise<Nothing> gate;
  process::dispatch(
      pid,
      &RecorderProcess::block,
      gate.future(),
      std::make_shared<Promise<Nothing>>());
  process::dispatch(pid, &RecorderProcess::append, string("queued;"));
  process::terminate(pid, false);
  Future<int> afterTerminate =
      process::dispatch(pid, &RecorderProcess::twice, 1);
  gate.set(Nothing());

  process::wait(pid);
  EXPECT_EQ("initialize;queued;finalize;", recorder.log());
  AWAIT_EXPECT_DISCARDED(afterTerminate);
}


TEST(ProcessTest, WaitWithAndWithoutALimit)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  // The limit runs on the libprocess clock: with the clock paused a zero
  // limit is due at once, and nothing else ends the wait.
  Clock::pause();
  EXPECT_FALSE(process::wait(pid, Seconds(0)));
  Clock::resume();

  Promise<Nothing> gate;
  process::dispatch(
      pid,
      &RecorderProcess::block,
      gate.future(),
      std::make_shared<Promise<Nothing>>());
  process::terminate(pid, false);

  // Whether the waiter gets there before the end or not, once wait()
  // returns the actor has finished.
  string logAfterWait;
  std::thread waiter([&]() {
    process::wait(pid);
    logAfterWait = recorder.log();
  });
  gate.set(Nothing());
  waiter.join();

  EXPECT_EQ("initialize;finalize;", logAfterWait);
  EXPECT_FALSE(process::wait(pid));
  EXPECT_FALSE(process::wait(pid, Seconds(1)));
}


TEST(ProcessTest, SpawnRefusesADuplicateIdAndManagedActorsAreDeleted)
{
  RecorderProcess first;
  PID<RecorderProcess> pid = process::spawn(first);

  class Named : public Process<Named>
  {
  public:
    explicit Named(const string& id) : ProcessBase(id) {}
  };

  Named duplicate(pid.id);
  EXPECT_FALSE(static_cast<bool>(process::spawn(duplicate)));

  std::atomic<int> finalized(0);
  UPID managed = process::spawn(new FinalizeLogProcess(&finalized), true);
  process::terminate(managed);
  process::wait(managed);
  EXPECT_EQ(1, finalized.load());

  process::terminate(pid);
  process::wait(pid);
}


TEST(ProcessTest, LinkedActorHearsOfTheExit)
{
  RecorderProcess target;
  PID<RecorderProcess> pid = process::spawn(target);

  LinkerProcess linker(pid);
  process::spawn(linker);

  // Linking is done in initialize(); a dispatch afterwards is ordered
  // behind it.
  AWAIT_READY(process::dispatch(linker.self(), []() { return Nothing(); }));

  process::terminate(pid);
  AWAIT_EXPECT_EQ(
      UPID(pid), process::dispatch(linker.self(), &LinkerProcess::exitedPid));

  // Linking to an actor that is gone reports the exit at once.
  LinkerProcess late(pid);
  process::spawn(late);
  AWAIT_EXPECT_EQ(
      UPID(pid), process::dispatch(late.self(), &LinkerProcess::exitedPid));

  process::terminate(linker);
  process::terminate(late);
  process::wait(linker);
  process::wait(late);
}


// An actor that ends takes its links with it: a long-lived actor that
// short-lived ones link to keeps no trace of them (the trace grew without
// bound, found by fuzzing classic authentication sessions), and an actor
// spawned later under the same id, which never linked, hears nothing of the
// target's exit.
TEST(ProcessTest, AnEndedActorsLinksEndWithIt)
{
  class Watcher : public Process<Watcher>
  {
  public:
    Watcher(const UPID& target, bool links)
      : ProcessBase("watcher"),
        target_(target),
        links_(links)
    {}

    Future<UPID> exitedPid() { return exited_.future(); }

  protected:
    void initialize() override
    {
      if (links_) {
        link(target_);
      }
    }
    void exited(const UPID& pid) override { exited_.set(pid); }

  private:
    const UPID target_;
    const bool links_;
    Promise<UPID> exited_;
  };

  RecorderProcess target;
  PID<RecorderProcess> pid = process::spawn(target);

  {
    Watcher first(pid, true);
    process::spawn(first);
    AWAIT_READY(process::dispatch(first.self(), []() { return Nothing(); }));
    process::terminate(first);
    process::wait(first);
  }

  Watcher second(pid, false);
  process::spawn(second);

  // The target's exit events are queued before wait() returns; a dispatch
  // queued after them runs after them.
  process::terminate(pid);
  process::wait(pid);
  AWAIT_READY(process::dispatch(second.self(), []() { return Nothing(); }));
  EXPECT_TRUE(second.exitedPid().isPending());

  process::terminate(second);
  process::wait(second);
}


TEST(ProcessTest, DeferRunsContinuationsOnTheActor)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  Promise<int> promise;
  Future<int> result = promise.future().then(
      process::defer(pid, &RecorderProcess::twice, lambda::_1));

  Future<string> onActor = result.then(process::defer(pid, [&recorder](int x) {
    recorder.append("x=" + stringify(x) + ";");
    return recorder.log();
  }));

  promise.set(5);
  AWAIT_EXPECT_EQ("initialize;x=10;", onActor);

  // A continuation deferred to an actor that has ended is discarded.
  process::terminate(pid);
  process::wait(pid);

  Future<int> afterEnd = Future<int>(1).then(
      process::defer(pid, &RecorderProcess::twice, lambda::_1));
  AWAIT_EXPECT_DISCARDED(afterEnd);

  // Outside actors defer(f) still runs f, on an internal actor.
  std::atomic<bool> ran{false};
  Future<Nothing> executed = Future<int>(1).then(process::defer([&ran](int) {
    ran = true;
    return Nothing();
  }));
  AWAIT_EXPECT_READY(executed);
  EXPECT_TRUE(ran);
}


TEST(ProcessTest, DelayFiresWhenThePausedClockIsAdvanced)
{
  RecorderProcess recorder;
  PID<RecorderProcess> pid = process::spawn(recorder);

  Clock::pause();
  process::delay(Seconds(30), pid, &RecorderProcess::append, string("late;"));
  process::delay(Seconds(10), pid, &RecorderProcess::append, string("early;"));

  Clock::advance(Seconds(29));
  Clock::settle();
  AWAIT_EXPECT_EQ(
      "initialize;early;", process::dispatch(pid, &RecorderProcess::text));

  Clock::advance(Seconds(1));
  Clock::settle();
  AWAIT_EXPECT_EQ(
      "initialize;early;late;", process::dispatch(pid, &RecorderProcess::text));
  Clock::resume();

  process::terminate(pid);
  process::wait(pid);
}


TEST(IdTest, GenerateCountsPerPrefix)
{
  // A prefix of its own on each run, as the counters are process-wide.
  static int run = 0;
  const string prefix = "id-test-" + stringify(++run);
  EXPECT_EQ(prefix + "(1)", process::ID::generate(prefix));
  EXPECT_EQ(prefix + "(2)", process::ID::generate(prefix));
  EXPECT_EQ(prefix + "-other(1)", process::ID::generate(prefix + "-other"));
}


TEST(UpidTest, WritesAndParsesIdAtAddress)
{
  const UPID pid("master", net::IP(INADDR_LOOPBACK), 5050);
  EXPECT_EQ("master@127.0.0.1:5050", stringify(pid));
  EXPECT_EQ("master@127.0.0.1:5050", static_cast<string>(pid));
  EXPECT_EQ(pid, UPID("master@127.0.0.1:5050"));
  EXPECT_TRUE(static_cast<bool>(pid));

  EXPECT_FALSE(static_cast<bool>(UPID("no-address")));
  EXPECT_TRUE(!UPID("no-address"));
  EXPECT_FALSE(static_cast<bool>(UPID("id@127.0.0.1:notaport")));
  EXPECT_FALSE(static_cast<bool>(UPID("id@0.0.0.0:5050")));
}


TEST(UpidTest, ActorsCarryTheServerAddress)
{
  RecorderProcess recorder;
  const UPID pid = recorder.self();

  EXPECT_EQ(process::address(), pid.address);
  EXPECT_TRUE(static_cast<bool>(pid));
  EXPECT_NE(0, pid.address.port);
  EXPECT_EQ(stringify(pid), pid.id + "@" + stringify(process::address()));
}
