#ifndef __TESTS_SUPPORT_SCOPED_ENVIRONMENT_HPP__
#define __TESTS_SUPPORT_SCOPED_ENVIRONMENT_HPP__

#include <stdlib.h>

#include <map>
#include <string>

namespace ovra_test {

// Sets environment variables for the life of the object and restores their
// earlier values (or absence) afterwards.
class ScopedEnvironment
{
public:
  ScopedEnvironment() = default;

  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  ~ScopedEnvironment()
  {
    for (const auto& [name, value] : saved_) {
      if (value.first) {
        ::setenv(name.c_str(), value.second.c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

  void set(const std::string& name, const std::string& value)
  {
    save(name);
    ::setenv(name.c_str(), value.c_str(), 1);
  }

  void unset(const std::string& name)
  {
    save(name);
    ::unsetenv(name.c_str());
  }

private:
  void save(const std::string& name)
  {
    if (saved_.count(name) == 0) {
      const char* value = ::getenv(name.c_str());
      saved_[name] = {value != nullptr, value != nullptr ? value : ""};
    }
  }

  std::map<std::string, std::pair<bool, std::string>> saved_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_SCOPED_ENVIRONMENT_HPP__
