#ifndef __STOUT_RESULT_HPP__
#define __STOUT_RESULT_HPP__

#include <string>
#include <type_traits>
#include <utility>

#include <stout/abort.hpp>
#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>
#include <stout/some.hpp>
#include <stout/try.hpp>

// A value, nothing, or an error: Try<Option<T>>.
template <typename T>
class Result
{
public:
  static Result<T> none() { return Result<T>(None()); }
  static Result<T> some(const T& t) { return Result<T>(t); }
  static Result<T> error(const std::string& message)
  {
    return Result<T>(Error(message));
  }

  Result(const T& t) : data_(Some(t)) {}
  Result(T&& t) : data_(Some(std::move(t))) {}

  template <
      typename U,
      typename = typename std::enable_if<
          std::is_constructible<T, const U&>::value>::type>
  Result(const U& u) : data_(Some(T(u))) {}

  Result(const Option<T>& option) : data_(option) {}
  Result(Option<T>&& option) : data_(std::move(option)) {}

  Result(const Try<T>& t)
    : data_(t.isSome() ? Try<Option<T>>(Some(t.get()))
                       : Try<Option<T>>(Error(t.error()))) {}

  Result(const None&) : data_(None()) {}

  template <typename U>
  Result(const _Some<U>& u) : data_(Some(T(u.t))) {}

  Result(const Error& error) : data_(error) {}
  Result(const ErrnoError& error) : data_(Error(error.message)) {}

  Result(const Result&) = default;
  Result(Result&&) = default;
  Result& operator=(const Result&) = default;
  Result& operator=(Result&&) = default;

  bool isSome() const { return data_.isSome() && data_.get().isSome(); }
  bool isNone() const { return data_.isSome() && data_.get().isNone(); }
  bool isError() const { return data_.isError(); }

  const T& get() const&
  {
    if (!isSome()) {
      ABORT(std::string("Result::get() but state == ") +
            (isError() ? "ERROR: " + data_.error() : "NONE"));
    }
    return data_.get().get();
  }

  T& get() &
  {
    if (!isSome()) {
      ABORT(std::string("Result::get() but state == ") +
            (isError() ? "ERROR: " + data_.error() : "NONE"));
    }
    return data_.get().get();
  }

  const T* operator->() const { return &get(); }
  T* operator->() { return &get(); }

  const std::string& error() const { return data_.error(); }

private:
  Try<Option<T>> data_;
};

#endif // __STOUT_RESULT_HPP__
