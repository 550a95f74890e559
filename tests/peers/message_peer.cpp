// A libprocess peer in an OS process of its own, for tests of messages
// between processes. It prints its actor's UPID on a line, then serves:
//   "echo": sends the body back to the sender as "echoed";
//   mesos.internal.AuthenticationStepMessage: replies with one whose data
//     is "got:" followed by the data received.
// It exits when its standard input closes, so it never outlives its test.

#include <unistd.h>

#include <iostream>
#include <string>
#include <thread>

#include <mesos/authentication/authentication.hpp>

#include <process/process.hpp>
#include <process/protobuf.hpp>

using mesos::internal::AuthenticationStepMessage;

namespace {

class PeerProcess : public ProtobufProcess<PeerProcess>
{
public:
  PeerProcess() : ProcessBase("peer") {}

protected:
  void initialize() override
  {
    install("echo", &PeerProcess::echo);
    install<AuthenticationStepMessage>(
        &PeerProcess::step, &AuthenticationStepMessage::data);
  }

private:
  void echo(const process::UPID& from, const std::string& body)
  {
    send(from, "echoed", body.data(), body.size());
  }

  void step(const std::string& data)
  {
    AuthenticationStepMessage answer;
    answer.set_data("got:" + data);
    reply(answer);
  }
};

} // namespace {


int main()
{
  PeerProcess peer;
  process::spawn(peer);
  std::cout << peer.self() << std::endl;

  char byte;
  while (::read(STDIN_FILENO, &byte, 1) > 0) {}
  ::_exit(0);
}
