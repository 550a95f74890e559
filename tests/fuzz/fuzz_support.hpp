#ifndef __TESTS_FUZZ_FUZZ_SUPPORT_HPP__
#define __TESTS_FUZZ_FUZZ_SUPPORT_HPP__

// What the fuzz targets share: the input as a string, a log that runs every
// logging statement (so that the texts built from hostile input are
// exercised) without writing files or flooding the terminal, and bounded
// waits that report a hang as a finding.

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include <glog/logging.h>

#include <process/future.hpp>

#include <stout/duration.hpp>
#include <stout/stringify.hpp>

namespace ovra_test {
namespace fuzz {

// The signed part (header.payload) of the one token of the seed corpora
// that carries a valid signature under test_keys::PUBLIC_KEY (seeds
// "signed" of jwt, "signed_token" of message). It alone may pass a check.
constexpr char SIGNED_TOKEN_PART[] =
    "eyJhbGciOiJSUzI1NiIsInR5cCI6IkpXVCJ9.eyJ1aWQiOiJhbGljZSJ9";

inline std::string text(const uint8_t* data, size_t size)
{
  return std::string(reinterpret_cast<const char*>(data), size);
}


// Every severity is formatted and handed to the log sinks, none reaches a
// file, and only FATAL reaches stderr.
inline void quietLogs()
{
  static bool done = false;
  if (done) {
    return;
  }
  done = true;
  google::InitGoogleLogging("fuzz");
  for (int severity = 0; severity < google::NUM_SEVERITIES; ++severity) {
    google::SetLogDestination(severity, "");
  }
  FLAGS_logtostderr = false;
  FLAGS_stderrthreshold = google::GLOG_FATAL;
}


// Stops the run with a message: libFuzzer keeps the input that caused it.
[[noreturn]] inline void fail(const std::string& message)
{
  fprintf(stderr, "fuzz finding: %s\n", message.c_str());
  fflush(stderr);
  abort();
}


// Waits for `future`; a future still pending after `limit` is a hang.
template <typename T>
const process::Future<T>& settle(
    const process::Future<T>& future,
    const Duration& limit = Seconds(10))
{
  if (!future.await(limit)) {
    fail("a future was still pending after " + stringify(limit));
  }
  return future;
}

} // namespace fuzz {
} // namespace ovra_test {

#endif // __TESTS_FUZZ_FUZZ_SUPPORT_HPP__
