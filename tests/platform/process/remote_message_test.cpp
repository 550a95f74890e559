// Messages between OS processes: this test process and a libprocess peer
// (tests/peers/message_peer.cpp) of its own, over TCP on loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authentication/authentication.hpp>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/gtest.hpp>
#include <process/id.hpp>
#include <process/owned.hpp>
#include <process/process.hpp>
#include <process/protobuf.hpp>

#include <stout/ip.hpp>
#include <stout/nothing.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>

#include "support/child_process.hpp"
#include "support/raw_client.hpp"

using namespace ovra_test;

using mesos::internal::AuthenticationStepMessage;

using process::Future;
using process::Owned;
using process::Promise;
using process::UPID;

using std::string;

namespace {

// Sends what a test asks and keeps what comes back.
class ClientProcess : public ProtobufProcess<ClientProcess>
{
public:
  explicit ClientProcess(size_t echoes = 1)
    : ProcessBase(process::ID::generate("client")),
      expected_(echoes)
  {}

  void sendEcho(const UPID& to, const string& body)
  {
    send(to, "echo", body.data(), body.size());
  }

  void sendStep(const UPID& to, const string& data)
  {
    AuthenticationStepMessage message;
    message.set_data(data);
    send(to, message);
  }

  void linkTo(const UPID& to) { link(to); }

  // Holds this actor's thread until `until` is ready, so that what is sent
  // to it meanwhile queues.
  void hold(const Future<Nothing>& until) { until.await(); }

  Future<std::vector<string>> echoed() { return echoed_.future(); }
  Future<std::pair<UPID, string>> stepped() { return stepped_.future(); }
  Future<UPID> exitedPeer() { return exited_.future(); }

protected:
  void initialize() override
  {
    install("echoed", &ClientProcess::echo);
    install<AuthenticationStepMessage>(&ClientProcess::step);
  }

  void exited(const UPID& pid) override { exited_.set(pid); }

private:
  void echo(const UPID&, const string& body)
  {
    bodies_.push_back(body);
    if (bodies_.size() == expected_) {
      echoed_.set(bodies_);
    }
  }

  void step(const UPID& from, const AuthenticationStepMessage& message)
  {
    stepped_.set(std::make_pair(from, message.data()));
  }

  const size_t expected_;
  std::vector<string> bodies_;
  Promise<std::vector<string>> echoed_;
  Promise<std::pair<UPID, string>> stepped_;
  Promise<UPID> exited_;
};


class RemoteMessageTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    peer_.reset(new ChildProcess(
        OVRA_MESSAGE_PEER,
        {},
        {"LIBPROCESS_IP=127.0.0.1", "LIBPROCESS_PORT=0"}));
    ASSERT_TRUE(peer_->started());
    peerPid_ = UPID(peer_->readLine());
    ASSERT_TRUE(peerPid_) << "the peer announced no UPID";
  }

  // A client actor, spawned; terminated at the end of the test.
  ClientProcess* client(size_t echoes = 1)
  {
    clients_.emplace_back(new ClientProcess(echoes));
    process::spawn(clients_.back().get());
    return clients_.back().get();
  }

  void TearDown() override
  {
    for (Owned<ClientProcess>& client : clients_) {
      process::terminate(client.get());
      process::wait(client.get());
    }
  }

  Owned<ChildProcess> peer_;
  UPID peerPid_;
  std::vector<Owned<ClientProcess>> clients_;
};

} // namespace {


TEST_F(RemoteMessageTest, MessageReachesTheRemoteActorWithSenderAndBody)
{
  // Bytes of every value, and a body larger than one read.
  string body;
  for (int i = 0; i < 3 * 65536; ++i) {
    body += static_cast<char>(i * 31);
  }

  ClientProcess* sender = client();
  process::dispatch(sender, &ClientProcess::sendEcho, peerPid_, body);

  Future<std::vector<string>> echoed = sender->echoed();
  AWAIT_ASSERT_READY(echoed);
  ASSERT_EQ(1u, echoed->size());
  EXPECT_EQ(body, echoed->front());
}


TEST_F(RemoteMessageTest, ReplyReturnsToTheSender)
{
  ClientProcess* sender = client();
  process::dispatch(
      sender, &ClientProcess::sendStep, peerPid_, string("token"));

  Future<std::pair<UPID, string>> stepped = sender->stepped();
  AWAIT_ASSERT_READY(stepped);
  EXPECT_EQ(peerPid_, stepped->first);
  EXPECT_EQ("got:token", stepped->second);
}


TEST_F(RemoteMessageTest, MessagesToOneAddressArriveInOrder)
{
  ClientProcess* sender = client(200);
  for (int i = 0; i < 200; ++i) {
    process::dispatch(sender, &ClientProcess::sendEcho, peerPid_, stringify(i));
  }

  Future<std::vector<string>> echoed = sender->echoed();
  AWAIT_ASSERT_READY(echoed);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(stringify(i), echoed->at(i));
  }
}


TEST_F(RemoteMessageTest, ExitedFiresWhenThePeerProcessDies)
{
  ClientProcess* watcher = client();
  process::dispatch(watcher, &ClientProcess::linkTo, peerPid_);

  // The link's connection is up once a message has gone through it.
  process::dispatch(watcher, &ClientProcess::sendEcho, peerPid_, string("x"));
  AWAIT_ASSERT_READY(watcher->echoed());
  EXPECT_TRUE(watcher->exitedPeer().isPending());

  peer_->kill();

  Future<UPID> exited = watcher->exitedPeer();
  AWAIT_ASSERT_READY(exited);
  EXPECT_EQ(peerPid_, exited.get());
}


TEST_F(RemoteMessageTest, LinkToAnAddressWithNoListenerFiresExited)
{
  const UPID gone = peerPid_;
  peer_->kill();

  ClientProcess* watcher = client();
  process::dispatch(watcher, &ClientProcess::linkTo, gone);
  AWAIT_EXPECT_EQ(gone, watcher->exitedPeer());
}


TEST_F(RemoteMessageTest, BadMessagesAreDroppedAndThePeerServesOn)
{
  ClientProcess* sender = client();

  // An id that does not run there.
  process::dispatch(
      sender,
      &ClientProcess::sendEcho,
      UPID("nobody", peerPid_.address),
      string("lost"));

  // Garbage, a message without a name, a bad escape in the id, an
  // unknown message name, a malformed protobuf, and a connection left
  // half-way through a message.
  const string agent = "User-Agent: libprocess/intruder@127.0.0.1:1\r\n";
  const std::vector<string> hostile = {
      "\x16\x03\x01 garbage\r\n\r\n",
      "POST /peer HTTP/1.1\r\n" + agent + "\r\n",
      "POST /%zz/echo HTTP/1.1\r\n" + agent + "\r\n",
      "POST /peer/unknown HTTP/1.1\r\n" + agent + "Content-Length: 2\r\n\r\nhi",
      "POST /peer/mesos.internal.AuthenticationStepMessage HTTP/1.1\r\n" +
          agent + "Content-Length: 3\r\n\r\n\xff\xff\xff",
      "POST /peer/echo HTTP/1.1\r\n" + agent +
          "Content-Length: 100\r\n\r\nhalf",
  };
  for (const string& bytes : hostile) {
    RawClient raw(peerPid_.address.port);
    ASSERT_TRUE(raw.connected());
    raw.send(bytes);
  }

  process::dispatch(sender, &ClientProcess::sendEcho, peerPid_, string("ok"));
  Future<std::vector<string>> echoed = sender->echoed();
  AWAIT_ASSERT_READY(echoed);
  EXPECT_EQ("ok", echoed->front());
}


// A sender that is not libprocess (no libprocess User-Agent) names itself
// in Libprocess-From and is told whether the actor runs.
TEST_F(RemoteMessageTest, OtherSendersAreAnsweredAcceptedOrNotFound)
{
  ClientProcess* receiver = client();
  const UPID self = receiver->self();

  RawClient raw(self.address.port);
  ASSERT_TRUE(raw.send(
      "POST /" + self.id +
      "/echoed HTTP/1.1\r\n"
      "Libprocess-From: " +
      stringify(peerPid_) +
      "\r\n"
      "Content-Length: 5\r\n\r\nhello"));
  EXPECT_TRUE(strings::startsWith(raw.readHead(), "HTTP/1.1 202 Accepted\r\n"));

  Future<std::vector<string>> echoed = receiver->echoed();
  AWAIT_ASSERT_READY(echoed);
  EXPECT_EQ("hello", echoed->front());

  ASSERT_TRUE(raw.send(
      "POST /nobody/echoed HTTP/1.1\r\n"
      "Libprocess-From: " +
      stringify(peerPid_) +
      "\r\n"
      "Content-Length: 0\r\n\r\n"));
  EXPECT_TRUE(
      strings::startsWith(raw.readHead(), "HTTP/1.1 404 Not Found\r\n"));
}


TEST_F(RemoteMessageTest, SendersNamedByHostAreDroppedUnresolved)
{
  ClientProcess* receiver = client();
  const UPID self = receiver->self();

  // A name would be looked up on the network thread: such a sender is not
  // believed, and the message is dropped.
  RawClient raw(self.address.port);
  ASSERT_TRUE(raw.send(
      "POST /" + self.id +
      "/echoed HTTP/1.1\r\n"
      "Libprocess-From: peer@unresolvable.invalid:5050\r\n"
      "Content-Length: 5\r\n\r\nnamed"));
  EXPECT_TRUE(
      strings::startsWith(raw.readHead(), "HTTP/1.1 404 Not Found\r\n"));

  ASSERT_TRUE(raw.send(
      "POST /" + self.id +
      "/echoed HTTP/1.1\r\n"
      "Libprocess-From: " +
      stringify(peerPid_) +
      "\r\n"
      "Content-Length: 5\r\n\r\nhello"));
  EXPECT_TRUE(strings::startsWith(raw.readHead(), "HTTP/1.1 202 Accepted\r\n"));
  Future<std::vector<string>> echoed = receiver->echoed();
  AWAIT_ASSERT_READY(echoed);
  EXPECT_EQ(std::vector<string>{"hello"}, echoed.get());
}


TEST_F(RemoteMessageTest, APeerThatDoesNotReadIsCutOffAtTheBound)
{
  // A listener that never accepts: the kernel takes the connection, and
  // what is sent fills its buffers.
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_LE(0, listener);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&address), length));
  ASSERT_EQ(0, ::listen(listener, 1));
  ASSERT_EQ(
      0,
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
  const UPID silent(
      "silent",
      process::network::inet::Address(
          net::IP(INADDR_LOOPBACK), ntohs(address.sin_port)));

  // 200 MiB of messages, more than one connection may queue: it is closed,
  // and the linked actor told, as when a connection is lost.
  ClientProcess* sender = client();
  process::dispatch(sender, &ClientProcess::linkTo, silent);
  const string mebibyte(1024 * 1024, 'm');
  for (int i = 0; i < 200; ++i) {
    process::dispatch(sender, &ClientProcess::sendEcho, silent, mebibyte);
  }
  AWAIT_EXPECT_EQ(silent, sender->exitedPeer());
  ::close(listener);
}


TEST_F(RemoteMessageTest, AnActorsQueueOfMessagesFromPeersIsBounded)
{
  // Three echoes of 50 MiB come back while the actor is held: two fit in
  // its queue's bound, the third is dropped. The last echo, sent once the
  // actor is free again, arrives.
  ClientProcess* sender = client(3);
  Promise<Nothing> release;
  process::dispatch(sender, &ClientProcess::hold, release.future());

  // Sent in its name, one at a time: another actor's echo, sent after each
  // on the same connection, comes back after it.
  const string fifty(50 * 1024 * 1024, 'f');
  for (int i = 0; i < 3; ++i) {
    process::post(sender->self(), peerPid_, "echo", fifty.data(), fifty.size());
    ClientProcess* probe = client();
    process::dispatch(
        probe, &ClientProcess::sendEcho, peerPid_, string("probe"));
    AWAIT_ASSERT_READY(probe->echoed());
  }

  release.set(Nothing());
  process::dispatch(sender, &ClientProcess::sendEcho, peerPid_, string("last"));
  Future<std::vector<string>> echoed = sender->echoed();
  AWAIT_ASSERT_READY(echoed);
  ASSERT_EQ(3u, echoed->size());
  EXPECT_EQ(fifty.size(), echoed->at(0).size());
  EXPECT_EQ(fifty.size(), echoed->at(1).size());
  EXPECT_EQ("last", echoed->at(2));
}
