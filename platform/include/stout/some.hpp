#ifndef __STOUT_SOME_HPP__
#define __STOUT_SOME_HPP__

#include <type_traits>
#include <utility>

// `Some(value)` makes a value that converts to Option<T>, Result<T> or
// Try<T> for any T constructible from the value.
template <typename T>
struct _Some
{
  _Some(T _t) : t(std::move(_t)) {}

  T t;
};

template <typename T>
_Some<typename std::decay<T>::type> Some(T&& t)
{
  return _Some<typename std::decay<T>::type>(std::forward<T>(t));
}

#endif // __STOUT_SOME_HPP__
