#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include <mesos/mesos.hpp>
#include <mesos/slave/isolator.hpp>

#include <process/future.hpp>
#include <process/ssl/flags.hpp>

#include "ssl_exec/flags.hpp"
#include "ssl_exec/isolator.hpp"

#include "support/temporary_directory.hpp"

using namespace ovra_test;

// Containers prepared per second by the SSL executor isolator on an agent
// with strict SSL (each a fresh sandbox: the asset folder, three copies,
// owner and mode, the environment), beside the bare copy of the same three
// files into a fresh folder in the same run.

namespace {

namespace fs = std::filesystem;

// The agent's three files, of a typical size, in a temporary directory.
struct AgentFiles
{
  AgentFiles()
  {
    flags.ca_file = write("ca.crt", 1900);
    flags.cert_file = write("agent.crt", 1900);
    flags.key_file = write("agent.key", 1700);
  }

  std::string write(const std::string& name, size_t size)
  {
    return directory.write(name, std::string(size, 'x'));
  }

  TemporaryDirectory directory;
  corvanta::ovra::ssl_executor::Flags flags;
};


std::string freshSandbox(const std::string& root, int64_t index)
{
  const std::string sandbox = root + "/" + std::to_string(index);
  ::mkdir(sandbox.c_str(), 0750);
  return sandbox;
}


void BM_IsolatorPrepare(benchmark::State& state)
{
  ::setenv("LIBPROCESS_SSL_ENABLED", "true", 1);
  process::network::openssl::reinitialize();

  AgentFiles files;
  TemporaryDirectory sandboxes;
  corvanta::ovra::ssl_executor::SSLExecutorIsolator isolator(files.flags);

  mesos::ContainerID id;
  id.set_value("c1");
  mesos::slave::ContainerConfig config;
  config.mutable_command_info()->set_value("true");

  int64_t index = 0;
  for (auto _ : state) {
    config.set_directory(freshSandbox(sandboxes.path(), index++));
    process::Future<Option<mesos::slave::ContainerLaunchInfo>> info =
      isolator.prepare(id, config);
    info.await();
    if (!info.isReady() || info->isNone()) {
      state.SkipWithError("the isolator prepared no environment");
      break;
    }
  }
  state.SetItemsProcessed(index);

  ::unsetenv("LIBPROCESS_SSL_ENABLED");
  process::network::openssl::reinitialize();
}
BENCHMARK(BM_IsolatorPrepare)->UseRealTime();


void BM_BareCopyOfThreeFiles(benchmark::State& state)
{
  AgentFiles files;
  TemporaryDirectory sandboxes;

  int64_t index = 0;
  for (auto _ : state) {
    const fs::path folder = fs::path(freshSandbox(sandboxes.path(), index++)) / ".ssl";
    fs::create_directory(folder);
    for (const std::string* file :
         {&files.flags.ca_file, &files.flags.cert_file, &files.flags.key_file}) {
      fs::copy_file(*file, folder / fs::path(*file).filename());
    }
  }
  state.SetItemsProcessed(index);
}
BENCHMARK(BM_BareCopyOfThreeFiles)->UseRealTime();

} // namespace {

BENCHMARK_MAIN();
