#ifndef __PROCESS_DELAY_HPP__
#define __PROCESS_DELAY_HPP__

#include <tuple>
#include <type_traits>
#include <utility>

#include <process/clock.hpp>
#include <process/dispatch.hpp>
#include <process/timer.hpp>

#include <stout/duration.hpp>

namespace process {

// Dispatches `method` (a void method) with the copied `args` to `pid` once
// `duration` has passed on the libprocess clock. Cancel with Clock::cancel.
template <typename P, typename M, typename... A>
Timer delay(const Duration& duration, const P& pid, M method, A&&... a)
{
  static_assert(
      std::is_void<typename internal::MethodTraits<M>::Result>::value,
      "delay() takes void methods");

  const UPID upid = internal::toUPID(pid);
  auto args = std::make_tuple(typename std::decay<A>::type(
      std::forward<A>(a))...);

  return Clock::timer(duration, [upid, method, args]() {
    std::apply(
        [&](const auto&... xs) { dispatch(upid, method, xs...); }, args);
  });
}

} // namespace process {

#endif // __PROCESS_DELAY_HPP__
