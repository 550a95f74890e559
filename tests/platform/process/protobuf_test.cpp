#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/id.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/strings.hpp>

#include "support/log_capture.hpp"
#include "platform/process/process_test_messages.pb.h"

using namespace ovra_test;

using ovra::test::PingMessage;
using ovra::test::PongMessage;

using process::Future;
using process::PID;
using process::Promise;
using process::UPID;

using std::string;
using std::vector;

namespace {

// Answers each ping with a pong naming its text and tags.
class PingServer : public ProtobufProcess<PingServer>
{
public:
  PingServer() : process::ProcessBase(process::ID::generate("ping-server")) {}

  Future<int> handled() { return handled_; }

protected:
  void initialize() override
  {
    install<PingMessage>(
        &PingServer::ping, &PingMessage::text, &PingMessage::tags);
  }

private:
  void ping(const UPID&, const string& text, const vector<string>& tags)
  {
    ++handled_;
    PongMessage pong;
    pong.set_text(text + ":" + strings::join(",", tags));
    reply(pong);
  }

  int handled_ = 0;
};


class PingClient : public ProtobufProcess<PingClient>
{
public:
  PingClient() : process::ProcessBase(process::ID::generate("ping-client")) {}

  Future<string> ping(const UPID& server, const PingMessage& message)
  {
    send(server, message);
    return pong_.future();
  }

  Future<string> pong() { return pong_.future(); }

protected:
  void initialize() override { install<PongMessage>(&PingClient::received); }

private:
  void received(const PongMessage& pong) { pong_.set(pong.text()); }

  Promise<string> pong_;
};

} // namespace {


TEST(ProtobufProcessTest, MessagesTravelByTypeNameAndRepliesReachTheSender)
{
  PingServer server;
  PingClient client;
  process::spawn(server);
  process::spawn(client);

  PingMessage ping;
  ping.set_text("hello");
  ping.add_tags("a");
  ping.add_tags("b");

  EXPECT_EQ("ovra.test.PingMessage", ping.GetTypeName());
  AWAIT_EXPECT_EQ(
      "hello:a,b",
      process::dispatch(client.self(), &PingClient::ping, server.self(), ping));

  process::terminate(server);
  process::terminate(client);
  process::wait(server);
  process::wait(client);
}


TEST(ProtobufProcessTest, MessageMissingRequiredFieldsIsDroppedWithAWarning)
{
  LogCapture log;
  PingServer server;
  PingClient client;
  process::spawn(server);
  process::spawn(client);

  // Both posted from this thread, so they arrive in this order.
  process::post(client.self(), server.self(), PingMessage().GetTypeName());

  PingMessage valid;
  valid.set_text("ok");
  string data;
  valid.SerializeToString(&data);
  process::post(
      client.self(),
      server.self(),
      valid.GetTypeName(),
      data.data(),
      data.size());

  AWAIT_EXPECT_EQ("ok:", process::dispatch(client.self(), &PingClient::pong));
  AWAIT_EXPECT_EQ(1, process::dispatch(server.self(), &PingServer::handled));
  EXPECT_TRUE(
      log.contains(google::GLOG_WARNING, "Initialization errors: text"));

  process::terminate(server);
  process::terminate(client);
  process::wait(server);
  process::wait(client);
}
