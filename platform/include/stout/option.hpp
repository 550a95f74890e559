#ifndef __STOUT_OPTION_HPP__
#define __STOUT_OPTION_HPP__

#include <optional>
#include <type_traits>
#include <utility>

#include <stout/abort.hpp>
#include <stout/none.hpp>
#include <stout/some.hpp>

// An optional value: NONE or SOME. get() on NONE is a programming error.
template <typename T>
class Option
{
public:
  static Option<T> none() { return Option<T>(); }
  static Option<T> some(const T& t) { return Option<T>(t); }

  Option() {}
  Option(const T& t) : t_(t) {}
  Option(T&& t) : t_(std::move(t)) {}

  template <
      typename U,
      typename = typename std::enable_if<
          std::is_constructible<T, const U&>::value>::type>
  Option(const U& u) : t_(T(u)) {}

  Option(const None&) {}

  template <typename U>
  Option(const _Some<U>& some) : t_(T(some.t)) {}

  template <typename U>
  Option(_Some<U>&& some) : t_(T(std::move(some.t))) {}

  Option(const Option<T>&) = default;
  Option(Option<T>&&) = default;

  // Types with const members (Error, flags::Warning) cannot be assigned, so
  // for them assignment rebuilds the value; an Option, a Try or a Result of
  // them can still be reassigned.
  Option<T>& operator=(const Option<T>& that)
  {
    if (this != &that) {
      if constexpr (std::is_copy_assignable<T>::value) {
        t_ = that.t_;
      } else {
        t_.reset();
        if (that.t_.has_value()) {
          t_.emplace(*that.t_);
        }
      }
    }
    return *this;
  }

  Option<T>& operator=(Option<T>&& that)
  {
    if (this != &that) {
      if constexpr (std::is_move_assignable<T>::value) {
        t_ = std::move(that.t_);
      } else {
        t_.reset();
        if (that.t_.has_value()) {
          t_.emplace(std::move(*that.t_));
        }
      }
    }
    return *this;
  }

  bool isSome() const { return t_.has_value(); }
  bool isNone() const { return !t_.has_value(); }

  const T& get() const&
  {
    if (isNone()) {
      ABORT("Option::get() but NONE");
    }
    return *t_;
  }

  T& get() &
  {
    if (isNone()) {
      ABORT("Option::get() but NONE");
    }
    return *t_;
  }

  T&& get() &&
  {
    if (isNone()) {
      ABORT("Option::get() but NONE");
    }
    return std::move(*t_);
  }

  const T* operator->() const { return &get(); }
  T* operator->() { return &get(); }

  template <typename U>
  T getOrElse(U&& u) const&
  {
    return isSome() ? *t_ : T(std::forward<U>(u));
  }

  bool operator==(const Option<T>& that) const { return t_ == that.t_; }
  bool operator!=(const Option<T>& that) const { return !(*this == that); }

  bool operator==(const T& that) const { return isSome() && *t_ == that; }
  bool operator!=(const T& that) const { return !(*this == that); }

private:
  std::optional<T> t_;
};

template <typename T>
Option<T> min(const Option<T>& left, const Option<T>& right)
{
  if (left.isSome() && right.isSome()) {
    return left.get() < right.get() ? left : right;
  }
  return left.isSome() ? left : right;
}

template <typename T>
Option<T> max(const Option<T>& left, const Option<T>& right)
{
  if (left.isSome() && right.isSome()) {
    return left.get() > right.get() ? left : right;
  }
  return left.isSome() ? left : right;
}

#endif // __STOUT_OPTION_HPP__
