#ifndef __STOUT_FLAGS_FLAG_HPP__
#define __STOUT_FLAGS_FLAG_HPP__

#include <functional>
#include <string>
#include <vector>

#include <stout/error.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/try.hpp>

namespace flags {

class FlagsBase;


// A flag's name. A deprecated name (an alias kept for old configurations)
// still loads, with a Warning.
struct Name
{
  Name() : deprecated(false) {}
  Name(const std::string& _value) : value(_value), deprecated(false) {}
  Name(const char* _value) : value(_value), deprecated(false) {}

  bool operator==(const Name& other) const { return value == other.value; }

  std::string value;
  bool deprecated;
};


inline Name DeprecatedName(const std::string& name)
{
  Name result(name);
  result.deprecated = true;
  return result;
}


struct Warning
{
  explicit Warning(const std::string& _message) : message(_message) {}

  const std::string message;
};


// What a successful load() reports: one Warning per flag loaded through a
// deprecated name.
struct Warnings
{
  std::vector<Warning> warnings;
};


// One registered flag. The functions take the flags object explicitly, as
// a copied flags object must load into itself, not into the original.
struct Flag
{
  Name name;
  Option<Name> alias;

  // The name the flag was loaded through (name or alias); None while the
  // flag has only its default.
  Option<Name> loaded_name;

  std::string help;
  bool boolean;
  std::function<Try<Nothing>(FlagsBase*, const std::string&)> load;
  std::function<Option<std::string>(const FlagsBase&)> stringify;
  std::function<Option<Error>(const FlagsBase&)> validate;
  bool required;

  const Name& effective_name() const
  {
    return loaded_name.isSome() ? loaded_name.get() : name;
  }
};

} // namespace flags

#endif // __STOUT_FLAGS_FLAG_HPP__
