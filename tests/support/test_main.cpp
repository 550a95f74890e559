// The main() of every test program: libprocess on loopback, as the host
// runs it, then GoogleTest. Mesos 1.2.0's libprocess would otherwise bind
// every address and put the host name's address into its UPIDs, which the
// tests' peers on 127.0.0.1 do not expect. The tests read
// "/metrics/snapshot" more often than its default limit of two a second.

#include <stdlib.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
  ::setenv("LIBPROCESS_IP", "127.0.0.1", 0);
  ::setenv("LIBPROCESS_METRICS_SNAPSHOT_ENDPOINT_RATE_LIMIT", "", 0);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
