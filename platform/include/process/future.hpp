#ifndef __PROCESS_FUTURE_HPP__
#define __PROCESS_FUTURE_HPP__

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <process/clock.hpp>
#include <process/latch.hpp>
#include <process/owned.hpp>
#include <process/timer.hpp>

#include <stout/abort.hpp>
#include <stout/duration.hpp>
#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>


// A Future is the read side of a value that becomes available later; a
// Promise is its write side. A future is PENDING, then exactly one of READY,
// FAILED or DISCARDED. Separately from those states, anyone holding a future
// may ask for it to be discarded (discard()); the producer sees the request
// through onDiscard and decides whether to honour it. Copies share state, and
// all methods are thread-safe. Callbacks run at once on the registering
// thread if the future is already in their state, else on the thread that
// completes it.

namespace process {

template <typename G>
struct _Deferred;

template <typename T>
class Future;

template <typename T>
class Promise;

template <typename T>
class WeakFuture;


struct Failure
{
  explicit Failure(const std::string& message_) : message(message_) {}
  explicit Failure(const Error& error) : message(error.message) {}

  const std::string message;
};


namespace internal {

// Future<X> for X, and Future<X> unchanged for Future<X>.
template <typename T>
struct wrap
{
  typedef Future<T> type;
};

template <typename X>
struct wrap<Future<X>>
{
  typedef Future<X> type;
};

// X for Future<X>, and T unchanged otherwise.
template <typename T>
struct unwrap
{
  typedef T type;
};

template <typename X>
struct unwrap<Future<X>>
{
  typedef X type;
};

template <typename T>
struct IsFuture : std::false_type {};

template <typename X>
struct IsFuture<Future<X>> : std::true_type {};

template <typename F>
struct IsDeferred : std::false_type {};

template <typename G>
struct IsDeferred<_Deferred<G>> : std::true_type {};

template <typename F>
struct DeferredCallable;

template <typename G>
struct DeferredCallable<_Deferred<G>>
{
  typedef G type;
};

// Adapts a callback that may or may not take the argument(s) it is offered,
// as libprocess accepts both `onReady([](const T&) {...})` and
// `onReady([]() {...})`.
template <typename F, typename... Args>
void invokeLenient(F& f, Args&&... args)
{
  if constexpr (std::is_invocable_v<F&, Args...>) {
    f(std::forward<Args>(args)...);
  } else {
    static_assert(
        std::is_invocable_v<F&>,
        "A callback must take the offered argument or no argument");
    f();
  }
}

} // namespace internal {


template <typename T>
class Future
{
public:
  typedef std::function<void()> DiscardCallback;
  typedef std::function<void(const T&)> ReadyCallback;
  typedef std::function<void(const std::string&)> FailedCallback;
  typedef std::function<void()> DiscardedCallback;
  typedef std::function<void(const Future<T>&)> AnyCallback;

  static Future<T> failed(const std::string& message)
  {
    Future<T> future;
    future.fail(message);
    return future;
  }

  // A pending future that nothing will ever complete unless it is handed
  // to a Promise through associate().
  Future() : data_(std::make_shared<Data>()) {}

  /*implicit*/ Future(const T& t) : Future() { set(t); }

  /*implicit*/ Future(T&& t) : Future() { set(std::move(t)); }

  template <
      typename U,
      typename = typename std::enable_if<
          !std::is_same<typename std::decay<U>::type, T>::value &&
          !std::is_base_of<Failure, U>::value &&
          std::is_constructible<T, const U&>::value>::type>
  /*implicit*/ Future(const U& u) : Future()
  {
    set(T(u));
  }

  /*implicit*/ Future(const Failure& failure) : Future()
  {
    fail(failure.message);
  }

  /*implicit*/ Future(const Try<T>& t) : Future()
  {
    if (t.isSome()) {
      set(t.get());
    } else {
      fail(t.error());
    }
  }

  Future(const Future<T>& that) = default;
  Future(Future<T>&& that) = default;
  Future<T>& operator=(const Future<T>& that) = default;
  Future<T>& operator=(Future<T>&& that) = default;

  bool operator==(const Future<T>& that) const { return data_ == that.data_; }
  bool operator!=(const Future<T>& that) const { return !(*this == that); }
  bool operator<(const Future<T>& that) const { return data_ < that.data_; }

  bool isPending() const { return state() == PENDING; }
  bool isReady() const { return state() == READY; }
  bool isDiscarded() const { return state() == DISCARDED; }
  bool isFailed() const { return state() == FAILED; }

  // Whether someone asked for this future to be discarded.
  bool hasDiscard() const { return data_->discard.load(); }

  // Asks the producer to discard this future: runs the onDiscard callbacks
  // once; the state does not change here. Returns false if the future is
  // no longer pending or the request was made before.
  bool discard()
  {
    std::vector<DiscardCallback> callbacks;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->discard.load() || data_->state.load() != PENDING) {
        return false;
      }
      data_->discard.store(true);
      callbacks.swap(data_->onDiscardCallbacks);
    }
    for (DiscardCallback& callback : callbacks) {
      callback();
    }
    return true;
  }

  // Blocks the calling thread until the future is no longer pending, or
  // until `duration` has passed (negative: no limit). As in libprocess,
  // the limit is a timer on libprocess's clock: while the clock is paused
  // the wait ends only when the clock is advanced past it. Returns false
  // on timeout.
  bool await(const Duration& duration = Seconds(-1)) const
  {
    std::shared_ptr<Latch> latch;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() == PENDING) {
        latch = std::make_shared<Latch>();
        data_->onAnyCallbacks.emplace_back(
            [latch](const Future<T>&) { latch->trigger(); });
      }
    }
    return latch == nullptr || latch->await(duration);
  }

  // Waits for the future, then returns its value. Asking for the value of
  // a failed or discarded future is a programming error and aborts.
  const T& get() const
  {
    if (!isReady()) {
      await();
    }
    if (isFailed()) {
      ABORT("Future::get() but state == FAILED: " + failure());
    }
    if (isDiscarded()) {
      ABORT("Future::get() but state == DISCARDED");
    }
    return data_->value.get();
  }

  const T* operator->() const { return &get(); }

  // The failure message; aborts unless the future failed.
  const std::string& failure() const
  {
    if (state() != FAILED) {
      ABORT("Future::failure() but state != FAILED");
    }
    return data_->failure.get();
  }

  // Each callback may take its argument or nothing, and may be a
  // _Deferred (made by defer()) to run it on an actor.

  template <typename F>
  const Future<T>& onDiscard(F&& f) const
  {
    addDiscard(toCallback<DiscardCallback>(std::forward<F>(f)));
    return *this;
  }

  template <typename F>
  const Future<T>& onReady(F&& f) const
  {
    addReady(toCallback<ReadyCallback, const T&>(std::forward<F>(f)));
    return *this;
  }

  template <typename F>
  const Future<T>& onFailed(F&& f) const
  {
    addFailed(toCallback<FailedCallback, const std::string&>(
        std::forward<F>(f)));
    return *this;
  }

  template <typename F>
  const Future<T>& onDiscarded(F&& f) const
  {
    addDiscarded(toCallback<DiscardedCallback>(std::forward<F>(f)));
    return *this;
  }

  template <typename F>
  const Future<T>& onAny(F&& f) const
  {
    addAny(toCallback<AnyCallback, const Future<T>&>(std::forward<F>(f)));
    return *this;
  }

  // Continues with `f` once this future is READY: `f` takes the value (or
  // nothing) and returns X or Future<X>; the result is a Future<X>. A failed
  // or discarded future passes its failure or discard on without calling
  // `f`, and so does a READY future whose discard was requested. A discard
  // request on the result is passed back to this future.
  template <typename F>
  auto then(F&& f) const
  {
    typedef typename std::decay<F>::type D;
    if constexpr (internal::IsDeferred<D>::value) {
      typedef typename internal::DeferredCallable<D>::type G;
      if constexpr (std::is_invocable_v<G&, const T&>) {
        typedef typename internal::unwrap<
            std::invoke_result_t<G&, const T&>>::type X;
        std::function<Future<X>(const T&)> g =
          static_cast<std::function<Future<X>(const T&)>>(f);
        return chain<X>(std::move(g));
      } else {
        typedef typename internal::unwrap<std::invoke_result_t<G&>>::type X;
        std::function<Future<X>()> g =
          static_cast<std::function<Future<X>()>>(f);
        return chain<X>([g](const T&) { return g(); });
      }
    } else if constexpr (std::is_invocable_v<D&, const T&>) {
      typedef std::invoke_result_t<D&, const T&> R;
      typedef typename internal::unwrap<R>::type X;
      return chain<X>(D(std::forward<F>(f)));
    } else {
      static_assert(
          std::is_invocable_v<D&>,
          "then() needs a callable taking the value or nothing");
      typedef std::invoke_result_t<D&> R;
      typedef typename internal::unwrap<R>::type X;
      return chain<X>(
          [g = D(std::forward<F>(f))](const T&) mutable { return g(); });
    }
  }

  // Calls `f` only if this future fails, and follows its result; READY and
  // DISCARDED pass through.
  Future<T> repair(
      const std::function<Future<T>(const Future<T>&)>& f) const;

  // Mirrors this future unless it is still pending `duration` from now on
  // the libprocess clock; then follows f(*this), run on the clock's thread.
  // This future itself is left alone unless `f` discards it.
  Future<T> after(
      const Duration& duration,
      const std::function<Future<T>(const Future<T>&)>& f) const;

private:
  friend class Promise<T>;
  friend class WeakFuture<T>;

  enum State
  {
    PENDING,
    READY,
    FAILED,
    DISCARDED,
  };

  struct Data
  {
    std::mutex mutex;
    std::atomic<State> state{PENDING};
    std::atomic<bool> discard{false};
    bool associated = false;

    Option<T> value;
    Option<std::string> failure;

    std::vector<DiscardCallback> onDiscardCallbacks;
    std::vector<ReadyCallback> onReadyCallbacks;
    std::vector<FailedCallback> onFailedCallbacks;
    std::vector<DiscardedCallback> onDiscardedCallbacks;
    std::vector<AnyCallback> onAnyCallbacks;
  };

  // The callbacks waiting for a completion, taken out under the lock.
  struct Callbacks
  {
    std::vector<ReadyCallback> ready;
    std::vector<FailedCallback> failed;
    std::vector<DiscardedCallback> discarded;
    std::vector<AnyCallback> any;

    void takeFrom(Data& data)
    {
      ready.swap(data.onReadyCallbacks);
      failed.swap(data.onFailedCallbacks);
      discarded.swap(data.onDiscardedCallbacks);
      any.swap(data.onAnyCallbacks);
      data.onDiscardCallbacks.clear();
    }
  };

  State state() const { return data_->state.load(std::memory_order_acquire); }

  template <typename C, typename... Args, typename F>
  static C toCallback(F&& f)
  {
    typedef typename std::decay<F>::type D;
    if constexpr (internal::IsDeferred<D>::value) {
      return static_cast<C>(f);
    } else if constexpr (std::is_constructible<C, D>::value &&
                         std::is_invocable_v<D&, Args...>) {
      return C(std::forward<F>(f));
    } else {
      return C([g = D(std::forward<F>(f))](Args... args) mutable {
        internal::invokeLenient(g, std::forward<Args>(args)...);
      });
    }
  }

  void addDiscard(DiscardCallback&& callback) const
  {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->discard.load()) {
        run = true;
      } else if (data_->state.load() == PENDING) {
        data_->onDiscardCallbacks.push_back(std::move(callback));
      }
    }
    if (run) {
      callback();
    }
  }

  void addReady(ReadyCallback&& callback) const
  {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() == READY) {
        run = true;
      } else if (data_->state.load() == PENDING) {
        data_->onReadyCallbacks.push_back(std::move(callback));
      }
    }
    if (run) {
      callback(data_->value.get());
    }
  }

  void addFailed(FailedCallback&& callback) const
  {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() == FAILED) {
        run = true;
      } else if (data_->state.load() == PENDING) {
        data_->onFailedCallbacks.push_back(std::move(callback));
      }
    }
    if (run) {
      callback(data_->failure.get());
    }
  }

  void addDiscarded(DiscardedCallback&& callback) const
  {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() == DISCARDED) {
        run = true;
      } else if (data_->state.load() == PENDING) {
        data_->onDiscardedCallbacks.push_back(std::move(callback));
      }
    }
    if (run) {
      callback();
    }
  }

  void addAny(AnyCallback&& callback) const
  {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() == PENDING) {
        data_->onAnyCallbacks.push_back(std::move(callback));
      } else {
        run = true;
      }
    }
    if (run) {
      callback(*this);
    }
  }

  template <typename U>
  bool set(U&& u)
  {
    Callbacks callbacks;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() != PENDING) {
        return false;
      }
      data_->value = T(std::forward<U>(u));
      data_->state.store(READY, std::memory_order_release);
      callbacks.takeFrom(*data_);
    }
    for (ReadyCallback& callback : callbacks.ready) {
      callback(data_->value.get());
    }
    for (AnyCallback& callback : callbacks.any) {
      callback(*this);
    }
    return true;
  }

  bool fail(const std::string& message)
  {
    Callbacks callbacks;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() != PENDING) {
        return false;
      }
      data_->failure = message;
      data_->state.store(FAILED, std::memory_order_release);
      callbacks.takeFrom(*data_);
    }
    for (FailedCallback& callback : callbacks.failed) {
      callback(data_->failure.get());
    }
    for (AnyCallback& callback : callbacks.any) {
      callback(*this);
    }
    return true;
  }

  bool markDiscarded()
  {
    Callbacks callbacks;
    {
      std::lock_guard<std::mutex> lock(data_->mutex);
      if (data_->state.load() != PENDING) {
        return false;
      }
      data_->state.store(DISCARDED, std::memory_order_release);
      callbacks.takeFrom(*data_);
    }
    for (DiscardedCallback& callback : callbacks.discarded) {
      callback();
    }
    for (AnyCallback& callback : callbacks.any) {
      callback(*this);
    }
    return true;
  }

  // The continuation behind then(): `f` maps a value to X or Future<X>.
  template <typename X, typename F>
  Future<X> chain(F&& f) const;

  std::shared_ptr<Data> data_;
};


// A reference to a future's state that does not keep it alive, so that a
// future's callbacks can point back at it without a cycle.
template <typename T>
class WeakFuture
{
public:
  explicit WeakFuture(const Future<T>& future) : data_(future.data_) {}

  Option<Future<T>> get() const
  {
    std::shared_ptr<typename Future<T>::Data> data = data_.lock();
    if (data == nullptr) {
      return None();
    }
    Future<T> future;
    future.data_ = std::move(data);
    return future;
  }

private:
  std::weak_ptr<typename Future<T>::Data> data_;
};


// The producer's side of a Future. The first outcome wins: set, fail,
// discard and associate each return false and do nothing unless the future
// is pending and not associated with another. Destroying a promise leaves
// its future as it is (pending, if nothing completed it).
namespace internal {

// Passes a discard request from a derived future back to its source.
template <typename T>
std::function<void()> discardSource(const Future<T>& source)
{
  WeakFuture<T> weak(source);
  return [weak]() {
    Option<Future<T>> future = weak.get();
    if (future.isSome()) {
      future->discard();
    }
  };
}

} // namespace internal {


template <typename T>
class Promise
{
public:
  Promise() {}
  explicit Promise(const T& t) : f_(t) {}
  virtual ~Promise() {}

  Promise(Promise<T>&& that) : f_(std::move(that.f_)) {}

  Promise(const Promise<T>&) = delete;
  Promise<T>& operator=(const Promise<T>&) = delete;

  bool discard()
  {
    if (isAssociated()) {
      return false;
    }
    return f_.markDiscarded();
  }

  bool set(const T& t)
  {
    if (isAssociated()) {
      return false;
    }
    return f_.set(t);
  }

  bool set(T&& t)
  {
    if (isAssociated()) {
      return false;
    }
    return f_.set(std::move(t));
  }

  bool set(const Future<T>& future) { return associate(future); }

  // Makes this promise's future follow `future`: its outcome becomes ours,
  // and discard requests on ours are passed on to it.
  bool associate(const Future<T>& future)
  {
    {
      std::lock_guard<std::mutex> lock(f_.data_->mutex);
      if (f_.data_->state.load() != Future<T>::PENDING ||
          f_.data_->associated) {
        return false;
      }
      f_.data_->associated = true;
    }

    Future<T> f = f_;
    f.onDiscard(internal::discardSource(future));

    future.onAny([f](const Future<T>& other) mutable {
      if (other.isReady()) {
        f.set(other.data_->value.get());
      } else if (other.isFailed()) {
        f.fail(other.failure());
      } else {
        f.markDiscarded();
      }
    });

    return true;
  }

  bool fail(const std::string& message)
  {
    if (isAssociated()) {
      return false;
    }
    return f_.fail(message);
  }

  Future<T> future() const { return f_; }

  // Stand-in only: whether nobody but this promise holds its future any
  // more, so that the work that would complete it can stop early.
  bool abandoned() const { return f_.data_.use_count() == 1; }

private:
  bool isAssociated() const
  {
    std::lock_guard<std::mutex> lock(f_.data_->mutex);
    return f_.data_->associated;
  }

  Future<T> f_;
};


template <typename T>
template <typename X, typename F>
Future<X> Future<T>::chain(F&& f) const
{
  std::shared_ptr<Promise<X>> promise = std::make_shared<Promise<X>>();

  addAny([f = std::forward<F>(f), promise](const Future<T>& future) mutable {
    if (future.isReady()) {
      if (future.hasDiscard()) {
        promise->discard();
      } else if constexpr (internal::IsFuture<
                               std::invoke_result_t<F&, const T&>>::value) {
        promise->associate(f(future.data_->value.get()));
      } else {
        promise->set(f(future.data_->value.get()));
      }
    } else if (future.isFailed()) {
      promise->fail(future.failure());
    } else {
      promise->discard();
    }
  });

  promise->future().onDiscard(internal::discardSource(*this));

  return promise->future();
}


template <typename T>
Future<T> Future<T>::repair(
    const std::function<Future<T>(const Future<T>&)>& f) const
{
  std::shared_ptr<Promise<T>> promise = std::make_shared<Promise<T>>();

  onAny([f, promise](const Future<T>& future) {
    if (future.isFailed()) {
      promise->associate(f(future));
    } else {
      promise->associate(future);
    }
  });

  promise->future().onDiscard(internal::discardSource(*this));

  return promise->future();
}


template <typename T>
Future<T> Future<T>::after(
    const Duration& duration,
    const std::function<Future<T>(const Future<T>&)>& f) const
{
  // Whichever comes first, the timer or the completion, sets `done`; the
  // other then does nothing. The timer is dropped from the state as soon as
  // it is settled, as its callback refers back to the state.
  struct State
  {
    std::mutex mutex;
    bool done = false;
    Option<Timer> timer;
    Promise<T> promise;
  };

  std::shared_ptr<State> state = std::make_shared<State>();

  Future<T> future = *this;
  Timer timer = Clock::timer(duration, [state, f, future]() {
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->done) {
        return;
      }
      state->done = true;
      state->timer = None();
    }
    state->promise.associate(f(future));
  });

  {
    std::lock_guard<std::mutex> lock(state->mutex);
    if (!state->done) {
      state->timer = timer;
    }
  }

  onAny([state](const Future<T>& future) {
    Option<Timer> timer;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (state->done) {
        return;
      }
      state->done = true;
      timer = state->timer;
      state->timer = None();
    }
    if (timer.isSome()) {
      Clock::cancel(timer.get());
    }
    state->promise.associate(future);
  });

  state->promise.future().onDiscard(internal::discardSource(*this));

  return state->promise.future();
}


} // namespace process {

#endif // __PROCESS_FUTURE_HPP__
