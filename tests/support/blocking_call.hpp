#ifndef __TESTS_SUPPORT_BLOCKING_CALL_HPP__
#define __TESTS_SUPPORT_BLOCKING_CALL_HPP__

#include <functional>
#include <thread>

#include <process/future.hpp>

#include <stout/nothing.hpp>
#include <stout/try.hpp>

namespace ovra_test {

// A call that blocks its caller until it knows (a module's check of its
// flags, the classic authenticator's prepare), run on a thread of its own
// so that its outcome is a future the test can drive the clock against.
// The destructor waits for the call to end.
class BlockingCall
{
public:
  explicit BlockingCall(const std::function<Try<Nothing>()>& call)
    : thread_([this, call]() {
        const Try<Nothing> outcome = call();
        if (outcome.isError()) {
          promise_.fail(outcome.error());
        } else {
          promise_.set(Nothing());
        }
      })
  {}

  ~BlockingCall() { thread_.join(); }

  BlockingCall(const BlockingCall&) = delete;
  BlockingCall& operator=(const BlockingCall&) = delete;

  process::Future<Nothing> future() const { return promise_.future(); }

private:
  // Declared before the thread, which uses it from its first instruction.
  process::Promise<Nothing> promise_;
  std::thread thread_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_BLOCKING_CALL_HPP__
