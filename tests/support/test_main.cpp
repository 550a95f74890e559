// The main() of every test program: libprocess on loopback, as the host
// runs it, then GoogleTest. Mesos 1.2.0's libprocess would otherwise bind
// every address and put the host name's address into its UPIDs, which the
// tests' peers on 127.0.0.1 do not expect. The tests read
// "/metrics/snapshot" more often than its default limit of two a second.

#include <stdlib.h>

#include <gtest/gtest.h>

#ifdef OVRA_TEST_ON_LIBPROCESS
#include <process/future.hpp>

#include <process/metrics/counter.hpp>
#include <process/metrics/metrics.hpp>

#include <stout/duration.hpp>
#endif

int main(int argc, char** argv)
{
  ::setenv("LIBPROCESS_IP", "127.0.0.1", 0);
  ::setenv("LIBPROCESS_METRICS_SNAPSHOT_ENDPOINT_RATE_LIMIT", "", 0);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();

  // The metrics actor answers the adds of the modules that tests made, and
  // logs those that fail, after the tests have ended. One more add waits
  // for all of them, so that no line is being logged while the program's
  // statics (glog's among them) are destroyed.
#ifdef OVRA_TEST_ON_LIBPROCESS
  const process::metrics::Counter drain("test_main/drain");
  process::metrics::add(drain).await(Seconds(10));
  process::metrics::remove(drain).await(Seconds(10));
#endif

  return result;
}
