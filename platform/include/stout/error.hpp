#ifndef __STOUT_ERROR_HPP__
#define __STOUT_ERROR_HPP__

#include <cerrno>
#include <string>

#include <stout/os/strerror.hpp>

// An error message, the failure half of Try and Result.
class Error
{
public:
  explicit Error(const std::string& _message) : message(_message) {}

  const std::string message;
};

// An error from errno: "message: strerror(errno)", or the bare strerror text
// when no message is given.
class ErrnoError : public Error
{
public:
  ErrnoError() : ErrnoError(errno) {}

  explicit ErrnoError(int _code) : Error(os::strerror(_code)), code(_code) {}

  explicit ErrnoError(const std::string& message) : ErrnoError(errno, message) {}

  ErrnoError(int _code, const std::string& message)
    : Error(message + ": " + os::strerror(_code)), code(_code) {}

  const int code;
};

#endif // __STOUT_ERROR_HPP__
