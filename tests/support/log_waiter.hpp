#ifndef __TESTS_SUPPORT_LOG_WAITER_HPP__
#define __TESTS_SUPPORT_LOG_WAITER_HPP__

// Waiting for a log line: a future that completes with the n-th line
// beginning with a given text, for steps whose only outward sign is a log
// line (a failed login that the module retries later, say).

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <process/future.hpp>

namespace ovra_test {

class LogWaiter : public google::LogSink
{
public:
  LogWaiter() { google::AddLogSink(this); }
  ~LogWaiter() override { google::RemoveLogSink(this); }

  void send(
      google::LogSeverity /*severity*/,
      const char* /*fullFilename*/,
      const char* /*baseFilename*/,
      int /*line*/,
      const struct ::tm* /*time*/,
      const char* message,
      size_t length) override
  {
    std::vector<
        std::pair<std::shared_ptr<process::Promise<std::string>>, std::string>>
        due;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.emplace_back(message, length);
      for (auto it = waiting_.begin(); it != waiting_.end();) {
        Option<std::string> line = find(it->prefix, it->n);
        if (line.isSome()) {
          due.emplace_back(it->promise, line.get());
          it = waiting_.erase(it);
        } else {
          ++it;
        }
      }
    }
    for (auto& [promise, line] : due) {
      promise->set(line);
    }
  }

  // The n-th line (from 1) that begins with `prefix`, once it is logged.
  process::Future<std::string> line(const std::string& prefix, size_t n = 1)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Option<std::string> found = find(prefix, n);
    if (found.isSome()) {
      return found.get();
    }
    auto promise = std::make_shared<process::Promise<std::string>>();
    waiting_.push_back(Waiting{prefix, n, promise});
    return promise->future();
  }

private:
  struct Waiting
  {
    std::string prefix;
    size_t n;
    std::shared_ptr<process::Promise<std::string>> promise;
  };

  Option<std::string> find(const std::string& prefix, size_t n) const
  {
    size_t seen = 0;
    for (const std::string& line : lines_) {
      if (line.compare(0, prefix.size(), prefix) == 0 && ++seen == n) {
        return line;
      }
    }
    return None();
  }

  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<Waiting> waiting_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_LOG_WAITER_HPP__
