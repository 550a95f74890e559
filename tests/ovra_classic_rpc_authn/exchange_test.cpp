// The whole classic exchange between actors of this process: a real
// authenticatee (or a scripted peer) against the master's authenticator,
// its sessions, their audit records and their ends.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <mesos/authentication/authentication.hpp>

#include <process/clock.hpp>
#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/owned.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

#include <stout/duration.hpp>
#include <stout/ip.hpp>
#include <stout/option.hpp>
#include <stout/stringify.hpp>

#include "common/sentrel/jwt.hpp"
#include "ovra_classic_rpc_authn/authenticator_session.hpp"

#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/audit_records.hpp"
#include "support/fake_iam.hpp"
#include "support/futures.hpp"
#include "support/log_capture.hpp"
#include "support/log_waiter.hpp"
#include "support/process_memory.hpp"
#include "support/test_keys.hpp"
#include "support/tokens.hpp"

#include "ovra_classic_rpc_authn/classic_rpc_test.hpp"

using namespace ovra_test;

using audit_records::Record;

using process::Clock;
using process::Future;
using process::UPID;

using classic::FakePeer;
using classic::client;
using classic::Outcome;
using classic::Running;
using classic::TestMaster;
using classic::Watcher;

namespace {

class ExchangeTest : public classic::ClassicRPCTest
{
protected:
  // A token for `uid` that the IAM service issued.
  std::string issued(const std::string& uid)
  {
    Future<std::string> token = iam_->issueToken(uid);
    EXPECT_TRUE(ready(token));
    return token.isReady() ? token.get() : "";
  }

  // Runs one attempt of a real authenticatee of the service account,
  // logging in at `loginEndpoint`, against `authenticator`: the
  // authenticatee's and the master's futures.
  std::pair<Future<bool>, Outcome> exchange(
      mesos::Authenticator* authenticator,
      const std::string& loginEndpoint)
  {
    master_.reset(new Running<TestMaster>(authenticator));
    authenticatee_ = classic::authenticatee(dev_iam::rs256Credential(
        test_iam::SERVICE_ACCOUNT,
        test_keys::OTHER_PRIVATE_KEY,
        loginEndpoint));
    if (authenticatee_ == nullptr) {
      return {Future<bool>(), Outcome()};
    }

    Future<bool> peer = authenticatee_->authenticate(
        (*master_)->self(),
        client(),
        classic::mesosCredential(test_iam::SERVICE_ACCOUNT));
    return {peer, (*master_)->outcome()};
  }

  std::unique_ptr<Running<TestMaster>> master_;
  std::unique_ptr<mesos::Authenticatee> authenticatee_;
};


// The fields of a session's record besides object, result and reason.
void expectSessionRecord(const Record& record, const UPID& peer)
{
  EXPECT_EQ("\"mesos-master\"", record.at("authorizer"));
  EXPECT_EQ("\"Classic Authentication\"", record.at("action"));
  EXPECT_EQ("\"" + stringify(peer) + "\"", record.at("uid"));
  EXPECT_EQ("127.0.0.1", record.at("srcip"));
  EXPECT_EQ(stringify(peer.address.port), record.at("srcport"));
  EXPECT_EQ("127.0.0.1", record.at("dstip"));
  EXPECT_EQ(0u, record.count("agent"));
}

} // namespace {


TEST_F(ExchangeTest, ValidTokenAuthenticatesTheServiceAccount)
{
  LogCapture log;
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  auto [peer, master] = exchange(authenticator.get(), iam_->loginEndpoint());

  ASSERT_TRUE(ready(peer));
  EXPECT_TRUE(peer.get());
  ASSERT_TRUE(ready(master));
  EXPECT_EQ(Option<std::string>(test_iam::SERVICE_ACCOUNT), master.get());

  const std::vector<Record> records = audit_records::records(log);
  ASSERT_EQ(1u, records.size());
  expectSessionRecord(records[0], (*master_)->peer().get());
  EXPECT_EQ("\"svc-agent\"", records[0].at("object"));
  EXPECT_EQ("allow", records[0].at("result"));
  EXPECT_EQ("\"Authenticated principal 'svc-agent'\"", records[0].at("reason"));

  // The key came once, with the module; the attempt did not ask again.
  EXPECT_EQ(1u, iam_->requests(dev_iam::Endpoint::JWKS).get());
}


TEST_F(ExchangeTest, BadTokensAreRefused)
{
  const Future<std::string> foreign = dev_iam::issueToken(
      {test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY},
      test_iam::SERVICE_ACCOUNT,
      Clock::now() + Minutes(5));
  ASSERT_TRUE(ready(foreign));

  const std::string oversized(mesos::sentrel::MAX_TOKEN_SIZE + 1, 'a');
  const std::string nested = test_tokens::token(
      R"({"alg":"RS256","typ":"JWT"})", std::string(12000, '['));

  const struct
  {
    const char* name;
    std::string token;
    std::string failure;
    std::string object;
    std::string reason;
  } cases[] = {
      {"signed by another key",
       foreign.get(),
       "Failed to authenticate due to invalid signature on JWT",
       "\"svc-agent\"",
       "\"Failed to authenticate due to invalid signature on JWT\""},
      {"not a token",
       "not a token",
       "Failed to authenticate: Expected three components in token, got 1",
       "\"\"",
       "\"Failed to parse JWT: 'Expected three components in token, got 1'\""},
      {"nested past the parser's bound",
       nested,
       "Failed to authenticate: Could not tokenize payload: Could not parse "
       "token JSON payload: JSON nests deeper than 100 levels",
       "\"\"",
       "\"Failed to parse JWT: 'Could not tokenize payload: Could not parse "
       "token JSON payload: JSON nests deeper than 100 levels'\""},
      {"beyond the size limit",
       oversized,
       "Failed to authenticate: Token of 16385 bytes exceeds the limit of "
       "16384 bytes",
       "\"\"",
       "\"Failed to parse JWT: 'Token of 16385 bytes exceeds the limit of "
       "16384 bytes'\""},
  };

  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;

    // The login hands out the bad token as the IAM-issued one.
    FakeIAM login;
    login.answerLogins(200, c.token);

    auto [peer, master] = exchange(authenticator.get(), login.loginEndpoint());

    ASSERT_TRUE(ready(peer));
    EXPECT_FALSE(peer.get());
    EXPECT_TRUE(failed(master, c.failure));

    const std::vector<Record> records = audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    expectSessionRecord(records[0], (*master_)->peer().get());
    EXPECT_EQ(c.object, records[0].at("object"));
    EXPECT_EQ("deny", records[0].at("result"));
    EXPECT_EQ(c.reason, records[0].at("reason"));

    authenticatee_.reset();
    master_.reset();
  }
}


// Two steps of the session's own peer that reach the session in one turn,
// a valid token and one signed by another key, in either order: the first
// decides, and the session replies once and audits once. (The second is
// dropped by the session, or with it when the session has ended first.)
TEST_F(ExchangeTest, StepsAfterTheFirstAreDropped)
{
  const Future<std::string> foreign = dev_iam::issueToken(
      {test_keys::OTHER_PRIVATE_KEY, test_keys::OTHER_PUBLIC_KEY},
      test_iam::SERVICE_ACCOUNT,
      Clock::now() + Minutes(5));
  ASSERT_TRUE(ready(foreign));
  const std::string valid = issued(test_iam::SERVICE_ACCOUNT);

  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  for (const bool validFirst : {true, false}) {
    SCOPED_TRACE(validFirst ? "valid first" : "forged first");
    LogCapture log;

    Running<FakePeer> peer(
        validFirst ? std::vector<std::string>{valid, foreign.get()}
                   : std::vector<std::string>{foreign.get(), valid});
    Outcome master = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    Running<Watcher> session(peer->session().get());

    ASSERT_TRUE(ready(peer->told()));
    EXPECT_EQ(validFirst ? "completed" : "failed", peer->told().get());
    if (validFirst) {
      ASSERT_TRUE(ready(master));
      EXPECT_EQ(Option<std::string>(test_iam::SERVICE_ACCOUNT), master.get());
    } else {
      EXPECT_TRUE(failed(
          master, "Failed to authenticate due to invalid signature on JWT"));
    }

    // Whatever the session sent is queued at the peer before it ended.
    ASSERT_TRUE(ready(session->ended()));
    Future<size_t> outcomes =
        process::dispatch(peer->self(), &FakePeer::outcomes);
    ASSERT_TRUE(ready(outcomes));
    EXPECT_EQ(1u, outcomes.get());

    const std::vector<Record> records = audit_records::records(log);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(validFirst ? "allow" : "deny", records[0].at("result"));
  }
}


TEST_F(ExchangeTest, IamDownAtLoginFailsBothSides)
{
  LogCapture log;
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  ASSERT_TRUE(ready(iam_->answer(
      dev_iam::Endpoint::LOGIN, process::http::ServiceUnavailable())));

  auto [peer, master] = exchange(authenticator.get(), iam_->loginEndpoint());

  EXPECT_TRUE(failed(
      peer,
      "Failed to get signed JWT from sentrel: Sentrel returned status: 503 "
      "Service Unavailable"));

  // The peer sent no token; the master learns of the failure when the
  // peer's module is destroyed, as Mesos does after a failed attempt.
  EXPECT_TRUE(master.isPending());
  authenticatee_.reset();
  EXPECT_TRUE(failed(master, "Failed to communicate with authenticatee"));

  EXPECT_TRUE(audit_records::records(log).empty());
}


TEST_F(ExchangeTest, AuditOffWritesNoRecord)
{
  LogCapture log;
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator(parameters({{"audit_log", "false"}}));
  ASSERT_NE(nullptr, authenticator);

  auto [peer, master] = exchange(authenticator.get(), iam_->loginEndpoint());
  ASSERT_TRUE(ready(master));
  ASSERT_TRUE(ready(peer));
  EXPECT_TRUE(peer.get());

  EXPECT_TRUE(audit_records::records(log).empty());
}


TEST_F(ExchangeTest, LossOrDiscardEndsTheSession)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  for (const bool discard : {false, true}) {
    SCOPED_TRACE(discard ? "master discards" : "peer vanishes");
    LogCapture log;

    Running<FakePeer> peer;
    Outcome master = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    Running<Watcher> session(peer->session().get());

    if (discard) {
      master.discard();
      EXPECT_TRUE(failed(master, "Authentication discarded"));
    } else {
      peer.stop();
      EXPECT_TRUE(failed(master, "Failed to communicate with authenticatee"));
    }

    EXPECT_TRUE(ready(session->ended()));
    EXPECT_TRUE(peer->told().isPending());
    EXPECT_TRUE(audit_records::records(log).empty());
  }
}


TEST_F(ExchangeTest, MalformedStepsFailTheAttempt)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  const struct
  {
    const char* name;
    std::string body;
    std::string failure;
  } cases[] = {
      {"no data",
       "",
       "Failed to authenticate: Malformed authentication step: missing data"},
      {"not a protobuf message",
       "\xff\xff\xff",
       "Failed to authenticate: Malformed authentication step: not an "
       "AuthenticationStepMessage"},
      {"empty token",
       classic::stepBody(""),
       "Failed to authenticate: Expected three components in token, got 1"},
  };

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);

    Running<FakePeer> peer;
    Outcome master = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));

    process::dispatch(peer->self(), [&peer, &c]() { peer->answer(c.body); });

    EXPECT_TRUE(failed(master, c.failure));
    ASSERT_TRUE(ready(peer->told()));
    EXPECT_EQ("failed", peer->told().get());
  }
}


TEST_F(ExchangeTest, StepFromAStrangerIsDropped)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  LogWaiter log;
  Running<FakePeer> peer;
  Outcome master = authenticator->authenticate(peer->self());
  ASSERT_TRUE(ready(peer->session()));
  const UPID session = peer->session().get();

  // A valid token, but not from the peer being authenticated.
  const UPID stranger("stranger", process::address());
  const std::string body = classic::stepBody(issued("mallory"));
  process::post(
      stranger,
      session,
      mesos::internal::AuthenticationStepMessage().GetTypeName(),
      body.data(),
      body.size());

  ASSERT_TRUE(ready(log.line(
      "Dropping an authentication step from " + stringify(stranger) +
      ": this session authenticates " + stringify(peer->self()))));
  EXPECT_TRUE(master.isPending());

  const std::string own = classic::stepBody(issued("svc-agent"));
  process::dispatch(peer->self(), [&peer, own]() { peer->answer(own); });

  ASSERT_TRUE(ready(master));
  EXPECT_EQ(Option<std::string>("svc-agent"), master.get());
}


TEST_F(ExchangeTest, ActorIdsTellNothingOfOtherAttempts)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  // Whoever sees the ids of its own attempt learns nothing of the next
  // one's: the session and the authenticatee are addressed by 128 random
  // bits, not by a counter.
  const std::regex session(
      "ovra_classic_rpc_authenticator_session\\([0-9a-f]{32}\\)");
  const std::regex authenticatee(
      "ovra_classic_rpc_authenticatee\\([0-9a-f]{32}\\)");
  std::set<std::string> ids;
  for (int i = 0; i < 3; ++i) {
    Running<FakePeer> peer;
    Outcome outcome = authenticator->authenticate(peer->self());
    ASSERT_TRUE(ready(peer->session()));
    EXPECT_TRUE(std::regex_match(peer->session()->id, session))
        << peer->session()->id;
    ids.insert(peer->session()->id);

    std::pair<Future<bool>, Outcome> attempt =
        exchange(authenticator.get(), iam_->loginEndpoint());
    ASSERT_TRUE(ready((*master_)->peer()));
    EXPECT_TRUE(std::regex_match((*master_)->peer()->id, authenticatee))
        << (*master_)->peer()->id;
    ids.insert((*master_)->peer()->id);
    ASSERT_TRUE(ready(attempt.first));
  }
  EXPECT_EQ(6u, ids.size());
}


namespace {

// Where an authenticatee of another process would be: a loopback listener
// that reads and drops what is sent to it, one connection at a time.
class Sink
{
public:
  Sink()
  {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(
            listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this]() {
      char buffer[65536];
      int connection;
      while ((connection = ::accept(listener_, nullptr, nullptr)) >= 0) {
        connection_ = connection;
        while (::read(connection, buffer, sizeof(buffer)) > 0) {}
        ::close(connection);
      }
    });
  }

  ~Sink()
  {
    ::shutdown(listener_, SHUT_RDWR);
    const int connection = connection_.exchange(-1);
    if (connection >= 0) {
      ::shutdown(connection, SHUT_RDWR);
    }
    if (thread_.joinable()) {
      thread_.join();
    }
    ::close(listener_);
  }

  uint16_t port() const { return port_; }

private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> connection_{-1};
  std::thread thread_;
};


} // namespace {


TEST_F(ExchangeTest, EndedSessionsLeaveNothingBehind)
{
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  // An authenticatee of another process with a long actor id; each
  // session steps it, links to it and is discarded, as the master's time
  // limit discards an attempt that gets no answer.
  Sink sink;
  ASSERT_NE(0, sink.port());
  const UPID peer(
      std::string(4000, 'a'),
      process::network::inet::Address(net::IP(INADDR_LOOPBACK), sink.port()));
  auto sessions = [&](size_t count) {
    for (size_t i = 0; i < count; ++i) {
      Outcome outcome = authenticator->authenticate(peer);
      outcome.discard();
      ASSERT_TRUE(failed(outcome, "Authentication discarded"));
    }
  };

  sessions(1000);
  const size_t warm = process_memory::statusBytes("VmRSS").getOrElse(0);
  sessions(3000);
  const size_t after = process_memory::statusBytes("VmRSS").getOrElse(0);
  const size_t grown = after - std::min(warm, after);
  std::cout << "3000 ended sessions: resident memory grew by " << grown / 1024
            << " KiB" << std::endl;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  // What 3000 sessions kept before: about 15 MiB, 5 KiB each. Alone the
  // growth is about 100 KiB; on a loaded machine the allocator's caches
  // have reached 3.7 MiB.
  EXPECT_LT(grown, 6u * 1024 * 1024);
#endif
}


TEST_F(ExchangeTest, ManyConcurrentSessionsAllComplete)
{
  constexpr size_t SESSIONS = 32;

  LogCapture log;
  std::unique_ptr<mesos::Authenticator> authenticator =
      classic::authenticator();
  ASSERT_NE(nullptr, authenticator);

  // Scripted peers answer at once: a real authenticatee's login would
  // hold a worker thread while the IAM service, in this same process,
  // needs one to answer.
  std::vector<std::unique_ptr<Running<FakePeer>>> peers;
  std::vector<Outcome> outcomes;
  for (size_t i = 0; i < SESSIONS; ++i) {
    peers.emplace_back(new Running<FakePeer>(issued("user-" + stringify(i))));
  }
  for (size_t i = 0; i < SESSIONS; ++i) {
    outcomes.push_back(authenticator->authenticate((*peers[i])->self()));
  }

  for (size_t i = 0; i < SESSIONS; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(ready(outcomes[i]));
    EXPECT_EQ(Option<std::string>("user-" + stringify(i)), outcomes[i].get());
    ASSERT_TRUE(ready((*peers[i])->told()));
    EXPECT_EQ("completed", (*peers[i])->told().get());
  }

  EXPECT_EQ(SESSIONS, audit_records::records(log).size());
}
