#ifndef __TESTS_SUPPORT_LOG_CAPTURE_HPP__
#define __TESTS_SUPPORT_LOG_CAPTURE_HPP__

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <glog/logging.h>

namespace ovra_test {

// Collects the glog lines written while it exists, so that tests assert on
// exact log texts. Lines may come from any thread.
class LogCapture : public google::LogSink
{
public:
  struct Line
  {
    google::LogSeverity severity;
    std::string text;
  };

  LogCapture() { google::AddLogSink(this); }
  ~LogCapture() override { google::RemoveLogSink(this); }

  void send(
      google::LogSeverity severity,
      const char* /*fullFilename*/,
      const char* /*baseFilename*/,
      int /*line*/,
      const struct ::tm* /*time*/,
      const char* message,
      size_t length) override
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(Line{severity, std::string(message, length)});
  }

  std::vector<Line> lines() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

  // The texts logged at exactly `severity`, in order.
  std::vector<std::string> texts(google::LogSeverity severity) const
  {
    std::vector<std::string> result;
    for (const Line& line : lines()) {
      if (line.severity == severity) {
        result.push_back(line.text);
      }
    }
    return result;
  }

  bool contains(google::LogSeverity severity, const std::string& text) const
  {
    for (const Line& line : lines()) {
      if (line.severity == severity && line.text == text) {
        return true;
      }
    }
    return false;
  }

private:
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
};

} // namespace ovra_test {

#endif // __TESTS_SUPPORT_LOG_CAPTURE_HPP__
