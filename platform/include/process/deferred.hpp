#ifndef __PROCESS_DEFERRED_HPP__
#define __PROCESS_DEFERRED_HPP__

#include <functional>
#include <type_traits>
#include <utility>

#include <process/dispatch.hpp>
#include <process/pid.hpp>

#include <stout/option.hpp>

namespace process {

// A callable bound to an actor, made by defer(): when called it dispatches
// the call to the actor instead of running it in place (or runs it in place
// when no actor is set). It converts to any std::function whose arguments
// the callable takes, or takes none of, so it can be handed to then(),
// onAny() and the like.
// A deferred call kept under its signature, as Gauge keeps it.
template <typename F>
struct Deferred : std::function<F>
{
  explicit Deferred(const std::function<F>& f) : std::function<F>(f) {}
};


template <typename F>
struct _Deferred
{
  template <typename R, typename... P>
  operator Deferred<R(P...)>() const
  {
    return Deferred<R(P...)>(static_cast<std::function<R(P...)>>(*this));
  }

  _Deferred(const Option<UPID>& pid, F f) : pid_(pid), f_(std::move(f)) {}

  template <typename R, typename... P>
  operator std::function<R(P...)>() const
  {
    if (pid_.isNone()) {
      return [f = f_](P... p) mutable -> R {
        return static_cast<R>(call(f, p...));
      };
    }

    const UPID pid = pid_.get();
    return [pid, f = f_](P... p) -> R {
      auto thunk = [f, p...]() mutable { return call(f, p...); };
      if constexpr (std::is_void<R>::value) {
        dispatch(pid, std::move(thunk));
      } else {
        return dispatch(pid, std::move(thunk));
      }
    };
  }

private:
  template <typename G, typename... P>
  static decltype(auto) call(G& g, P&... p)
  {
    if constexpr (std::is_invocable_v<G&, P&...>) {
      return g(p...);
    } else {
      return g();
    }
  }

  Option<UPID> pid_;
  F f_;
};

} // namespace process {

#endif // __PROCESS_DEFERRED_HPP__
