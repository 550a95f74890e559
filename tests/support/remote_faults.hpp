#ifndef __TESTS_SUPPORT_REMOTE_FAULTS_HPP__
#define __TESTS_SUPPORT_REMOTE_FAULTS_HPP__

// The faults of a remote service that every remote call of the modules is
// tested against, put on a FaultPeer, and the drive of one call through
// one of them on a paused clock: a fault that leaves the call without an
// answer must keep it pending until its time limit has passed on
// libprocess's clock, and then end it and drop its connection; any other
// fault ends it without the clock moving at all.

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/clock.hpp>
#include <process/future.hpp>

#include <stout/duration.hpp>

#include "common/sentrel/bounded_request.hpp"

#include "support/fault_peer.hpp"
#include "support/futures.hpp"

namespace ovra_test {
namespace remote_faults {

enum class Fault
{
  REFUSED,
  SILENT,
  DELAYED,
  DRIP,
  RESET_MID_BODY,
  ERROR_STATUS,
  GARBAGE,
  GARBAGE_BODY,
  HUGE_BODY,
};

const std::vector<Fault> ALL = {
    Fault::REFUSED,
    Fault::SILENT,
    Fault::DELAYED,
    Fault::DRIP,
    Fault::RESET_MID_BODY,
    Fault::ERROR_STATUS,
    Fault::GARBAGE,
    Fault::GARBAGE_BODY,
    Fault::HUGE_BODY,
};

// What the erroring and the garbage-answering service say.
constexpr char ERROR_BODY[] = "internal trouble";
constexpr char GARBAGE_BODY[] = "<html>no json</html>";

// A body declared far beyond the modules' bound on an answer.
constexpr uint64_t HUGE_LENGTH = uint64_t(1) << 30;

// How late the delayed service answers, and how slowly the dripping one
// sends its answer's bytes, in real time: far beyond any call's limit,
// which the tests pass on a paused clock long before.
constexpr std::chrono::milliseconds LATE(30000);
constexpr std::chrono::milliseconds DRIP_PAUSE(20);


inline std::string name(Fault fault)
{
  switch (fault) {
    case Fault::REFUSED: return "Refused";
    case Fault::SILENT: return "Silent";
    case Fault::DELAYED: return "Delayed";
    case Fault::DRIP: return "Drip";
    case Fault::RESET_MID_BODY: return "ResetMidBody";
    case Fault::ERROR_STATUS: return "ErrorStatus";
    case Fault::GARBAGE: return "Garbage";
    case Fault::GARBAGE_BODY: return "GarbageBody";
    case Fault::HUGE_BODY: return "HugeBody";
  }
  return "?";
}


inline void PrintTo(Fault fault, std::ostream* out)
{
  *out << name(fault);
}


// For INSTANTIATE_TEST_SUITE_P's names.
struct Name
{
  std::string operator()(const ::testing::TestParamInfo<Fault>& info) const
  {
    return name(info.param);
  }
};


// Whether the call gets no whole answer, so that only its time limit ends
// it.
inline bool timesOut(Fault fault)
{
  return fault == Fault::SILENT || fault == Fault::DELAYED ||
      fault == Fault::DRIP;
}


// The behaviour of the peer for every request from now on. Faults that
// answer late answer with the handler's answer.
inline fault_peer::Behaviour behaviour(Fault fault)
{
  using fault_peer::Behaviour;
  switch (fault) {
    case Fault::REFUSED: return Behaviour::refuse();
    case Fault::SILENT: return Behaviour::silent();
    case Fault::DELAYED: return Behaviour::delayed(LATE);
    case Fault::DRIP: return Behaviour::drip(DRIP_PAUSE);
    case Fault::RESET_MID_BODY: return Behaviour::resetMidBody();
    case Fault::ERROR_STATUS: return Behaviour::status(500, ERROR_BODY);
    case Fault::GARBAGE: return Behaviour::garbage();
    case Fault::GARBAGE_BODY: return Behaviour::garbageBody(GARBAGE_BODY);
    case Fault::HUGE_BODY: return Behaviour::hugeBody(HUGE_LENGTH);
  }
  return Behaviour::normal();
}


inline void inject(fault_peer::FaultPeer& peer, Fault fault)
{
  peer.setDefault(behaviour(fault));
}


// How a module's request to the peer on `port` fails for the faults that
// are the transport's: refused, reset, garbage, huge. The connection's own
// failures are libprocess's words, the body's the modules'.
inline std::string transportFailure(Fault fault, uint16_t port)
{
  const std::string peer = "127.0.0.1:" + std::to_string(port);
  switch (fault) {
    case Fault::REFUSED:
      return "Failed to connect to " + peer + ": Connection refused";
    case Fault::RESET_MID_BODY: return mesos::sentrel::ANSWER_CUT_SHORT;
    case Fault::GARBAGE: return "Failed to decode response";
    case Fault::HUGE_BODY:
      return "The answer's body exceeds the limit of " +
          std::to_string(mesos::sentrel::MAX_ANSWER_BODY) + " bytes";
    default: return "";
  }
}


// How a call in flight is driven through `fault`.
struct Drive
{
  // The peer's request that the call made (from 1), and the connection
  // it came on.
  size_t request = 1;

  // The call's time limit on libprocess's clock.
  Duration limit;

  // Whether an actor sets up the call's time limit and then returns, so
  // that settling the clock waits for the limit to be set. Otherwise (the
  // limit set on a thread of the test's own, or by an actor that then
  // blocks on the call, which would keep settle() waiting for ever) the
  // limit may be set just after the request reached the peer, counted
  // from then: the clock is moved on by the limit until the call ends, a
  // few times at most.
  bool settle = true;
};


// Drives `call`, made on a paused clock, through `fault` at `peer` and
// checks its end with `ended`: a fault without an answer keeps the call
// pending until `limit` has passed (checked a millisecond before where
// the clock may be settled, see Drive), and the call's connection is
// closed then; any other fault ends it with the clock standing still.
template <typename T, typename Check>
::testing::AssertionResult endsWith(
    const process::Future<T>& call,
    fault_peer::FaultPeer& peer,
    Fault fault,
    const Drive& drive,
    const Check& ended)
{
  if (fault != Fault::REFUSED && !peer.waitForRequest(drive.request)) {
    return ::testing::AssertionFailure()
        << "request " << drive.request << " never reached the peer";
  }

  if (timesOut(fault)) {
    if (fault == Fault::DRIP && !peer.waitForBytesSent(peer.bytesSent() + 5)) {
      return ::testing::AssertionFailure() << "the peer dripped nothing";
    }

    if (drive.settle) {
      process::Clock::settle();
      process::Clock::advance(drive.limit - Milliseconds(1));
      process::Clock::settle();
    }
    if (!call.isPending()) {
      return ::testing::AssertionFailure()
          << "ended before its time limit of " << drive.limit;
    }
    if (drive.settle) {
      process::Clock::advance(Milliseconds(1));
    } else {
      for (int i = 0; i < 3 && call.isPending(); ++i) {
        process::Clock::advance(drive.limit);
        completesWithin(call, Milliseconds(500));
      }
    }
  }

  ::testing::AssertionResult result = ended(call);
  if (!result) {
    return result;
  }

  // Without settling, the request's own limit may have been set after the
  // clock last moved, counted from then.
  if (timesOut(fault) && !drive.settle &&
      !peer.waitForClientClose(drive.request, std::chrono::milliseconds(500))) {
    process::Clock::advance(drive.limit);
  }

  if (timesOut(fault) && !peer.waitForClientClose(drive.request)) {
    return ::testing::AssertionFailure()
        << "the connection stayed open past the time limit";
  }

  return ::testing::AssertionSuccess();
}


// The call fails with exactly `failure`.
template <typename T>
::testing::AssertionResult failsWith(
    const process::Future<T>& call,
    fault_peer::FaultPeer& peer,
    Fault fault,
    const Drive& drive,
    const std::string& failure)
{
  return endsWith(
      call, peer, fault, drive, [&failure](const process::Future<T>& call) {
        return failed(call, failure);
      });
}


// For steps whose only outward sign is a log line: `line` (a LogWaiter's
// future) comes and is exactly `text`.
inline ::testing::AssertionResult logs(
    const process::Future<std::string>& line,
    fault_peer::FaultPeer& peer,
    Fault fault,
    const Drive& drive,
    const std::string& text)
{
  return endsWith(
      line,
      peer,
      fault,
      drive,
      [&text](const process::Future<std::string>& line)
          -> ::testing::AssertionResult {
        ::testing::AssertionResult result = ready(line);
        if (!result) {
          return result;
        }
        if (line.get() != text) {
          return ::testing::AssertionFailure()
              << "logged: " << line.get() << "\n  expected: " << text;
        }
        return ::testing::AssertionSuccess();
      });
}

} // namespace remote_faults {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_REMOTE_FAULTS_HPP__
