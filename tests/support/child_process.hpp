#ifndef __TESTS_SUPPORT_CHILD_PROCESS_HPP__
#define __TESTS_SUPPORT_CHILD_PROCESS_HPP__

// A program run by a test as an OS process of its own. Its standard input
// is a pipe that the test holds, so a well-behaved child can end when the
// test does; its first line of output is read with a time limit. The
// child is killed when this object goes.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace ovra_test {

class ChildProcess
{
public:
  // Runs `path` with `arguments`, its environment ours plus `environment`
  // ("NAME=value" entries).
  ChildProcess(
      const std::string& path,
      const std::vector<std::string>& arguments = {},
      const std::vector<std::string>& environment = {})
  {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) {
      return;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);

    std::vector<std::string> argv = {path};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& argument : argv) {
      args.push_back(&argument[0]);
    }
    args.push_back(nullptr);

    std::vector<std::string> env = environment;
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e) {
      envp.push_back(*e);
    }
    for (std::string& entry : env) {
      envp.push_back(&entry[0]);
    }
    envp.push_back(nullptr);

    if (::posix_spawn(
            &pid_, path.c_str(), &actions, nullptr, args.data(), envp.data()) !=
        0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);

    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }

  ~ChildProcess()
  {
    kill();
    if (stdin_ >= 0) {
      ::close(stdin_);
    }
    if (stdout_ >= 0) {
      ::close(stdout_);
    }
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }

  // The next line the child prints, without its newline; empty if none
  // came within 10 seconds.
  std::string readLine()
  {
    std::string line;
    while (true) {
      pollfd ready = {stdout_, POLLIN, 0};
      if (::poll(&ready, 1, 10000) != 1) {
        return "";
      }
      char byte;
      if (::read(stdout_, &byte, 1) != 1) {
        return "";
      }
      if (byte == '\n') {
        return line;
      }
      line.push_back(byte);
    }
  }

  // Kills the child at once and reaps it.
  void kill()
  {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      int status;
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }

private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_CHILD_PROCESS_HPP__
