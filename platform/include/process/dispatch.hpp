#ifndef __PROCESS_DISPATCH_HPP__
#define __PROCESS_DISPATCH_HPP__

#include <functional>
#include <memory>
#include <optional>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include <process/future.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>

// dispatch() runs a method or a function on an actor, as one of its events:
//
//   dispatch(pid, &T::method, args...)   // void, R or Future<R> method
//   dispatch(pid, []() { ... })          // void, R or Future<R> function
//
// `pid` is a PID<T> or UPID, or the actor itself (reference or pointer).
// Arguments are copied. A void method gives void; any other gives a
// Future of its result, following the method's own future if it returns
// one. If the actor is not running, or ends before the event runs, the
// returned future is discarded (libprocess 1.2.0 left it pending for ever).

namespace process {

namespace internal {

// Queues `f` on the actor `pid`; drops it (destroying `f`) if there is no
// such actor.
void dispatch(
    const UPID& pid,
    const std::shared_ptr<std::function<void(ProcessBase*)>>& f,
    const Option<const std::type_info*>& functionType = None());


template <typename M>
struct MethodTraits;

template <typename R, typename C, typename... P>
struct MethodTraits<R (C::*)(P...)>
{
  typedef R Result;
  typedef C Class;
};

template <typename R, typename C, typename... P>
struct MethodTraits<R (C::*)(P...) const>
{
  typedef R Result;
  typedef C Class;
};


// The promise behind a dispatch. The dispatched function holds it; when
// the function is destroyed without having completed it (the event was
// dropped), the future is discarded so no caller waits for ever.
template <typename R>
struct DispatchPromise
{
  DispatchPromise() = default;
  DispatchPromise(const DispatchPromise&) = delete;
  DispatchPromise& operator=(const DispatchPromise&) = delete;

  ~DispatchPromise() { promise.discard(); }

  template <typename V>
  void complete(V&& v)
  {
    if constexpr (IsFuture<typename std::decay<V>::type>::value) {
      promise.associate(std::forward<V>(v));
    } else {
      promise.set(std::forward<V>(v));
    }
  }

  Promise<R> promise;
};


template <typename P>
UPID toUPID(const P& p)
{
  if constexpr (std::is_base_of<UPID, P>::value) {
    return p;
  } else if constexpr (std::is_pointer<P>::value) {
    return static_cast<const ProcessBase*>(p)->self();
  } else {
    return static_cast<const ProcessBase&>(p).self();
  }
}


// Runs `call` on the actor and hands its result to a future.
template <typename R, typename Call>
auto dispatchCall(
    const UPID& pid,
    Call&& call,
    const Option<const std::type_info*>& functionType)
{
  if constexpr (std::is_void<R>::value) {
    internal::dispatch(
        pid,
        std::make_shared<std::function<void(ProcessBase*)>>(
            std::forward<Call>(call)),
        functionType);
  } else {
    typedef typename unwrap<R>::type X;
    std::shared_ptr<DispatchPromise<X>> promise =
      std::make_shared<DispatchPromise<X>>();
    Future<X> future = promise->promise.future();
    internal::dispatch(
        pid,
        std::make_shared<std::function<void(ProcessBase*)>>(
            [promise, call = std::forward<Call>(call)](
                ProcessBase* process) mutable {
              // A failed cast (the id names an actor of another class)
              // leaves the promise to be discarded.
              std::optional<R> result = call(process);
              if (result.has_value()) {
                promise->complete(std::move(*result));
              }
            }),
        functionType);
    return future;
  }
}

} // namespace internal {


template <typename P, typename F, typename... A>
auto dispatch(const P& pid, F&& f, A&&... a)
{
  typedef typename std::decay<F>::type D;
  const UPID upid = internal::toUPID(pid);

  if constexpr (std::is_member_function_pointer<D>::value) {
    typedef typename internal::MethodTraits<D>::Result R;
    typedef typename internal::MethodTraits<D>::Class T;
    const std::type_info* type = &typeid(D);

    auto args = std::make_tuple(typename std::decay<A>::type(
        std::forward<A>(a))...);

    if constexpr (std::is_void<R>::value) {
      return internal::dispatchCall<void>(
          upid,
          [method = D(f), args = std::move(args)](ProcessBase* process) mutable {
            T* t = dynamic_cast<T*>(process);
            if (t != nullptr) {
              std::apply(
                  [&](auto&... xs) { (t->*method)(xs...); }, args);
            }
          },
          type);
    } else {
      return internal::dispatchCall<R>(
          upid,
          [method = D(f), args = std::move(args)](ProcessBase* process) mutable
              -> std::optional<R> {
            T* t = dynamic_cast<T*>(process);
            if (t == nullptr) {
              return std::nullopt;
            }
            return std::apply(
                [&](auto&... xs) -> R { return (t->*method)(xs...); }, args);
          },
          type);
    }
  } else {
    static_assert(
        sizeof...(A) == 0,
        "dispatch() of a function takes no arguments: capture them");
    typedef std::invoke_result_t<D&> R;

    if constexpr (std::is_void<R>::value) {
      return internal::dispatchCall<void>(
          upid,
          [g = D(std::forward<F>(f))](ProcessBase*) mutable { g(); },
          None());
    } else {
      return internal::dispatchCall<R>(
          upid,
          [g = D(std::forward<F>(f))](ProcessBase*) mutable
              -> std::optional<R> { return g(); },
          None());
    }
  }
}

} // namespace process {

#endif // __PROCESS_DISPATCH_HPP__
