// Every log level is on for the whole secrets test program, so that the
// checks that no secret reaches the log see verbose lines too. It is set
// once, before any test starts a thread: the platform's network threads
// log for as long as the program runs and read the level unsynchronised.

#include <glog/logging.h>
#include <gtest/gtest.h>

namespace {

class VerboseLogging : public ::testing::Environment
{
public:
  void SetUp() override { FLAGS_v = 3; }
};

::testing::Environment* const verboseLogging =
    ::testing::AddGlobalTestEnvironment(new VerboseLogging());

} // namespace
