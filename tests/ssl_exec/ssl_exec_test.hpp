#ifndef __TESTS_SSL_EXEC_SSL_EXEC_TEST_HPP__
#define __TESTS_SSL_EXEC_SSL_EXEC_TEST_HPP__

// What the SSL executor tests share: an agent's three SSL files, a sandbox
// and a folder outside it in a fresh temporary directory, and the agent's
// libprocess SSL mode, set from LIBPROCESS_SSL_* for one test.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/mesos.hpp>

#include <process/ssl/flags.hpp>

#include <stout/option.hpp>

#include "ssl_exec/flags.hpp"

#include "support/module_parameters.hpp"
#include "support/scoped_environment.hpp"
#include "support/temporary_directory.hpp"
#include "support/tls_files.hpp"

// Exported by libprocess for its tests, but declared in no header that
// Mesos 1.2.0 installs for modules.
namespace process {
namespace network {
namespace openssl {
void reinitialize();
} // namespace openssl {
} // namespace network {
} // namespace process {

namespace ovra_test {

enum class SslMode
{
  OFF,
  DOWNGRADE,
  STRICT
};

inline const char* name(SslMode mode)
{
  return mode == SslMode::OFF ? "off"
      : mode == SslMode::DOWNGRADE
      ? "downgrade"
      : "strict";
}


// The agent's SSL settings for the life of the object; strict SSL also
// requires and verifies peer certificates and their IP addresses. With SSL
// on, libprocess gets a key and certificate it can load.
class AgentSsl
{
public:
  explicit AgentSsl(SslMode mode) : environment_(new ScopedEnvironment())
  {
    // Also their deprecated names without "LIBPROCESS_", which libprocess
    // reads too: machines often set SSL_CERT_FILE for OpenSSL's own use.
    for (const std::string name :
         {"ENABLED",
          "SUPPORT_DOWNGRADE",
          "VERIFY_CERT",
          "REQUIRE_CERT",
          "VERIFY_IPADD",
          "KEY_FILE",
          "CERT_FILE",
          "CA_FILE",
          "CA_DIR"}) {
      environment_->unset("LIBPROCESS_SSL_" + name);
      environment_->unset("SSL_" + name);
    }
    if (mode != SslMode::OFF) {
      environment_->set("LIBPROCESS_SSL_ENABLED", "true");
      environment_->set("LIBPROCESS_SSL_KEY_FILE", files_.key());
      environment_->set("LIBPROCESS_SSL_CERT_FILE", files_.cert());
    }
    if (mode == SslMode::DOWNGRADE) {
      environment_->set("LIBPROCESS_SSL_SUPPORT_DOWNGRADE", "true");
    }
    if (mode == SslMode::STRICT) {
      environment_->set("LIBPROCESS_SSL_REQUIRE_CERT", "true");
      environment_->set("LIBPROCESS_SSL_VERIFY_IPADD", "true");
    }
    process::network::openssl::reinitialize();
  }

  ~AgentSsl()
  {
    environment_.reset();
    process::network::openssl::reinitialize();
  }

private:
  TlsFiles files_;
  std::unique_ptr<ScopedEnvironment> environment_;
};


class SslExecTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    ASSERT_FALSE(directory_.path().empty());
    agent_ = directory_.path() + "/agent";
    sandbox_ = directory_.path() + "/sandbox";
    outside_ = directory_.path() + "/outside";
    for (const std::string& folder : {agent_, sandbox_, outside_}) {
      ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    }

    flags_.ca_file = file(agent_ + "/ca.crt", "the CA", 0644);
    flags_.cert_file = file(agent_ + "/agent.crt", "the certificate", 0644);
    flags_.key_file = file(agent_ + "/agent.key", "the key", 0600);
  }

  static std::string file(
      const std::string& path,
      const std::string& content,
      mode_t mode)
  {
    std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(0, ::chmod(path.c_str(), mode)) << path;
    return path;
  }

  static std::string read(const std::string& path)
  {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  static struct stat lstatOf(const std::string& path)
  {
    struct stat status = {};
    EXPECT_EQ(0, ::lstat(path.c_str(), &status)) << path;
    return status;
  }

  static bool exists(const std::string& path)
  {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0;
  }

  // The names in `folder`, sorted; empty when it cannot be read.
  static std::vector<std::string> entries(const std::string& folder)
  {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
      while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
          names.push_back(name);
        }
      }
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::map<std::string, std::string> variables(
      const mesos::Environment& environment)
  {
    std::map<std::string, std::string> result;
    for (const auto& variable : environment.variables()) {
      result[variable.name()] = variable.value();
    }
    return result;
  }

  // The modules' parameters: the agent's files, and the executor
  // environment when given.
  mesos::Parameters moduleParameters(
      const Option<std::string>& executorEnvironment = None()) const
  {
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"ca_file", flags_.ca_file},
        {"cert_file", flags_.cert_file},
        {"key_file", flags_.key_file}};
    if (executorEnvironment.isSome()) {
      pairs.push_back({"executor_environment", executorEnvironment.get()});
    }
    return parameters(pairs);
  }

  static std::vector<std::string> names(const mesos::Environment& environment)
  {
    std::vector<std::string> result;
    for (const auto& variable : environment.variables()) {
      result.push_back(variable.name());
    }
    return result;
  }

  TemporaryDirectory directory_;
  std::string agent_;
  std::string sandbox_;
  std::string outside_;
  corvanta::ovra::ssl_executor::Flags flags_;
};

} // namespace ovra_test {

#endif // __TESTS_SSL_EXEC_SSL_EXEC_TEST_HPP__
