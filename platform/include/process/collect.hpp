#ifndef __PROCESS_COLLECT_HPP__
#define __PROCESS_COLLECT_HPP__

#include <list>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include <process/future.hpp>

#include <stout/nothing.hpp>
#include <stout/option.hpp>

// collect() waits for all of a list of futures to be ready; await() waits
// for all of them to be no longer pending, whatever their outcome.

namespace process {

namespace internal {

// The shared state of one collect() or await(): the inputs until the
// result is decided, how many are still pending, and the result's promise.
// The inputs are handed out once the result is decided, which also ends
// the reference cycle between them and their callbacks.
template <typename T>
struct Gather
{
  explicit Gather(const std::list<Future<T>>& futures_)
    : futures(futures_.begin(), futures_.end()), pending(futures_.size()) {}

  // The inputs, if the result was not decided yet; decides it.
  Option<std::vector<Future<T>>> finish()
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (done) {
      return None();
    }
    done = true;
    return std::move(futures);
  }

  // Counts one more input done; the inputs if it was the last.
  Option<std::vector<Future<T>>> arrived()
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (done || --pending > 0) {
      return None();
    }
    done = true;
    return std::move(futures);
  }

  static void discard(std::vector<Future<T>>& inputs)
  {
    for (Future<T>& input : inputs) {
      input.discard();
    }
  }

  std::mutex mutex;
  std::vector<Future<T>> futures;
  size_t pending;
  bool done = false;

  Promise<std::list<T>> collected;
  Promise<std::list<Future<T>>> awaited;
};

} // namespace internal {


// Ready with the values in input order once every input is ready. The
// first failure fails it with "Collect failed: <failure>", a discarded
// input with "Collect failed: future discarded"; as in libprocess 1.2.0 the
// remaining inputs are left running. Discarding the result discards it and
// asks every input to discard.
template <typename T>
Future<std::list<T>> collect(const std::list<Future<T>>& futures)
{
  typedef internal::Gather<T> Gather;

  if (futures.empty()) {
    return std::list<T>();
  }

  std::shared_ptr<Gather> gather = std::make_shared<Gather>(futures);
  std::weak_ptr<Gather> weak = gather;

  Future<std::list<T>> result = gather->collected.future();

  result.onDiscard([weak]() {
    std::shared_ptr<Gather> gather = weak.lock();
    if (gather == nullptr) {
      return;
    }
    Option<std::vector<Future<T>>> inputs = gather->finish();
    if (inputs.isSome()) {
      gather->collected.discard();
      Gather::discard(inputs.get());
    }
  });

  for (const Future<T>& future : futures) {
    future.onAny([gather](const Future<T>& future) {
      if (future.isReady()) {
        Option<std::vector<Future<T>>> inputs = gather->arrived();
        if (inputs.isSome()) {
          std::list<T> values;
          for (const Future<T>& input : inputs.get()) {
            values.push_back(input.get());
          }
          gather->collected.set(values);
        }
        return;
      }

      Option<std::vector<Future<T>>> inputs = gather->finish();
      if (inputs.isSome()) {
        gather->collected.fail(
            "Collect failed: " +
            (future.isFailed() ? future.failure() : "future discarded"));
      }
    });
  }

  return result;
}


// Ready with the inputs themselves once none is pending; never fails.
// Discarding the result discards it and asks every input to discard.
template <typename T>
Future<std::list<Future<T>>> await(const std::list<Future<T>>& futures)
{
  typedef internal::Gather<T> Gather;

  if (futures.empty()) {
    return futures;
  }

  std::shared_ptr<Gather> gather = std::make_shared<Gather>(futures);
  std::weak_ptr<Gather> weak = gather;

  Future<std::list<Future<T>>> result = gather->awaited.future();

  result.onDiscard([weak]() {
    std::shared_ptr<Gather> gather = weak.lock();
    if (gather == nullptr) {
      return;
    }
    Option<std::vector<Future<T>>> inputs = gather->finish();
    if (inputs.isSome()) {
      gather->awaited.discard();
      Gather::discard(inputs.get());
    }
  });

  for (const Future<T>& future : futures) {
    future.onAny([gather](const Future<T>&) {
      Option<std::vector<Future<T>>> inputs = gather->arrived();
      if (inputs.isSome()) {
        gather->awaited.set(
            std::list<Future<T>>(inputs->begin(), inputs->end()));
      }
    });
  }

  return result;
}


// The variadic forms: a tuple of the values, or of the futures.
template <typename... Ts>
Future<std::tuple<Ts...>> collect(const Future<Ts>&... futures)
{
  std::list<Future<Nothing>> wrappers = {
    futures.then([]() { return Nothing(); })...};

  return collect(wrappers).then([=]() {
    return std::make_tuple(futures.get()...);
  });
}


template <typename... Ts>
Future<std::tuple<Future<Ts>...>> await(const Future<Ts>&... futures)
{
  std::list<Future<Nothing>> wrappers = {
    futures.then([]() { return Nothing(); })...};

  return await(wrappers).then([=]() {
    return std::make_tuple(futures...);
  });
}

} // namespace process {

#endif // __PROCESS_COLLECT_HPP__
