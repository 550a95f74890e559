#ifndef __PROCESS_DEFER_HPP__
#define __PROCESS_DEFER_HPP__

#include <functional>
#include <type_traits>
#include <utility>

#include <process/deferred.hpp>
#include <process/dispatch.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

// defer() makes a _Deferred: a callable that, when called (typically as a
// future's continuation), dispatches to an actor.
//
//   defer(pid, &T::method, args...)  // args may hold placeholders (_1...)
//   defer(pid, f)                    // f runs on the actor with the args
//   defer(f)                         // on the current actor, or on an
//                                    // internal actor outside actors

namespace process {

namespace internal {

// The actor that runs defer(f) continuations made outside actors.
UPID executor();

template <typename M>
struct DeferredMethod
{
  template <typename... X>
  auto operator()(X&&... x) const
  {
    return dispatch(pid, method, std::forward<X>(x)...);
  }

  UPID pid;
  M method;
};

} // namespace internal {


template <typename P, typename F, typename... A>
auto defer(const P& pid, F&& f, A&&... a)
{
  typedef typename std::decay<F>::type D;
  const UPID upid = internal::toUPID(pid);

  if constexpr (std::is_member_function_pointer<D>::value) {
    auto bound = std::bind(
        internal::DeferredMethod<D>{upid, f}, std::forward<A>(a)...);
    return _Deferred<decltype(bound)>(None(), std::move(bound));
  } else {
    static_assert(
        sizeof...(A) == 0,
        "defer() of a function takes no arguments: capture them");
    return _Deferred<D>(upid, D(std::forward<F>(f)));
  }
}


template <typename F>
_Deferred<typename std::decay<F>::type> defer(F&& f)
{
  typedef typename std::decay<F>::type D;
  ProcessBase* current = internal::current();
  const UPID pid = current != nullptr ? current->self() : internal::executor();
  return _Deferred<D>(pid, D(std::forward<F>(f)));
}

} // namespace process {

#endif // __PROCESS_DEFER_HPP__
