#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string.h>

#include <string>
#include <unordered_set>

#include <gtest/gtest.h>

#include <stout/ip.hpp>
#include <stout/stringify.hpp>

namespace {

TEST(IPTest, ParseAndPrint)
{
  for (const char* text :
       {"127.0.0.1", "0.0.0.0", "10.1.2.3", "255.255.255.255"}) {
    Try<net::IP> ip = net::IP::parse(text, AF_INET);
    ASSERT_TRUE(ip.isSome()) << text;
    EXPECT_EQ(text, stringify(ip.get()));
  }

  for (const char* text :
       {"", "1.2.3", "256.0.0.1", "localhost", "::1", " 1.2.3.4"}) {
    Try<net::IP> ip = net::IP::parse(text, AF_INET);
    ASSERT_TRUE(ip.isError()) << text;
    EXPECT_EQ("Failed to parse the IP", ip.error()) << text;
  }

  EXPECT_EQ(
      "Unsupported family type: " + stringify(AF_INET6),
      net::IP::parse("::1", AF_INET6).error());
}


TEST(IPTest, Properties)
{
  EXPECT_TRUE(net::IP(INADDR_LOOPBACK).isLoopback());
  EXPECT_TRUE(net::IP(INADDR_ANY).isAny());
  EXPECT_FALSE(net::IP(INADDR_LOOPBACK).isAny());
  EXPECT_EQ("127.0.0.1", stringify(net::IP(INADDR_LOOPBACK)));
  EXPECT_EQ(AF_INET, net::IP(INADDR_ANY).family());
  EXPECT_EQ(htonl(INADDR_LOOPBACK), net::IP(INADDR_LOOPBACK).in()->s_addr);

  EXPECT_LT(
      net::IP::parse("1.0.0.0", AF_INET).get(),
      net::IP::parse("2.0.0.0", AF_INET).get());
  EXPECT_NE(net::IP(1), net::IP(2));

  std::unordered_set<net::IP> set = {net::IP(1), net::IP(1), net::IP(2)};
  EXPECT_EQ(2u, set.size());
}


TEST(IPTest, FromSockaddr)
{
  sockaddr_storage storage;
  memset(&storage, 0, sizeof(storage));
  sockaddr_in* in = reinterpret_cast<sockaddr_in*>(&storage);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  EXPECT_EQ(net::IP(INADDR_LOOPBACK), net::IP::create(storage).get());

  storage.ss_family = AF_INET6;
  EXPECT_TRUE(net::IP::create(storage).isError());
}

} // namespace
