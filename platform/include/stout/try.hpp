#ifndef __STOUT_TRY_HPP__
#define __STOUT_TRY_HPP__

#include <string>
#include <type_traits>
#include <utility>

#include <stout/abort.hpp>
#include <stout/error.hpp>
#include <stout/option.hpp>
#include <stout/some.hpp>

// A value or an error. get() on an error is a programming error.
template <typename T, typename E = Error>
class Try
{
public:
  static Try some(const T& t) { return Try(t); }
  static Try error(const E& e) { return Try(e); }
  static Try error(const std::string& message) { return Try(E(message)); }

  Try(const T& t) : data_(Some(t)) {}
  Try(T&& t) : data_(Some(std::move(t))) {}

  template <
      typename U,
      typename = typename std::enable_if<
          std::is_constructible<T, const U&>::value>::type>
  Try(const U& u) : data_(Some(T(u))) {}

  Try(const E& error) : error_(error) {}

  template <typename U>
  Try(const _Some<U>& some) : data_(Some(T(some.t))) {}

  template <typename U>
  Try(_Some<U>&& some) : data_(Some(T(std::move(some.t)))) {}

  // An ErrnoError or another Error subclass converts to the error state.
  template <
      typename U,
      typename = typename std::enable_if<
          std::is_base_of<E, U>::value && !std::is_same<E, U>::value>::type,
      typename = void>
  Try(const U& error) : error_(E(error)) {}

  Try(const Try&) = default;
  Try(Try&&) = default;
  Try& operator=(const Try&) = default;
  Try& operator=(Try&&) = default;

  bool isSome() const { return data_.isSome(); }
  bool isError() const { return data_.isNone(); }

  const T& get() const&
  {
    if (!isSome()) {
      ABORT("Try::get() but state == ERROR: " + error());
    }
    return data_.get();
  }

  T& get() &
  {
    if (!isSome()) {
      ABORT("Try::get() but state == ERROR: " + error());
    }
    return data_.get();
  }

  T&& get() &&
  {
    if (!isSome()) {
      ABORT("Try::get() but state == ERROR: " + error());
    }
    return std::move(data_).get();
  }

  const T* operator->() const { return &get(); }
  T* operator->() { return &get(); }

  const std::string& error() const
  {
    if (error_.isNone()) {
      ABORT("Try::error() but state == SOME");
    }
    return error_.get().message;
  }

private:
  Option<T> data_;
  Option<E> error_;
};

#endif // __STOUT_TRY_HPP__
