#ifndef __TESTS_SUPPORT_FAULT_PEER_HPP__
#define __TESTS_SUPPORT_FAULT_PEER_HPP__

// A loopback HTTP peer for client tests: it stands in for a remote service
// (the IAM service, the secret store) and answers each request as the test
// configured it, faults included: it refuses connections, stays silent,
// answers late, drips its answer a byte at a time, resets the connection
// half-way through the body, answers any status, bytes that are no HTTP,
// a body that is not what was asked for, or a body too big to take.
//
// It serves any number of connections on a thread of its own (one Asio
// io_context) and records every request it read. A test waits for the
// n-th request with a bounded wait. Destruction closes every connection,
// silent ones included, and joins the thread.
//
// Test code only: state shared with the test thread is under a mutex. The
// peer itself lives in fault_peer.cpp, so that the tests that use it do
// not compile Asio.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <strings.h>


namespace ovra_test {
namespace fault_peer {

// One request as the peer read it.
struct Request
{
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The head as it came, request line and headers up to the blank line.
  std::string head;

  // The target without its query.
  std::string path() const { return target.substr(0, target.find('?')); }

  // The first header of that name, compared without regard to case.
  std::optional<std::string> header(const std::string& name) const
  {
    for (const auto& [key, value] : headers) {
      if (::strcasecmp(key.c_str(), name.c_str()) == 0) {
        return value;
      }
    }
    return std::nullopt;
  }
};


// An HTTP answer. Content-Length and "Connection: close" are added when
// the answer is written.
struct Answer
{
  uint16_t code = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;

  // The status line's phrase; empty for the usual one of the code.
  std::string reason;

  static Answer json(const std::string& body, uint16_t code = 200)
  {
    Answer answer;
    answer.code = code;
    answer.body = body;
    answer.headers = {{"Content-Type", "application/json"}};
    return answer;
  }

  static Answer notFound()
  {
    Answer answer;
    answer.code = 404;
    return answer;
  }

  // The head, status line to blank line, declaring `length` body bytes.
  std::string head(size_t length) const
  {
    std::string out = "HTTP/1.1 " + std::to_string(code) + " " +
        (reason.empty() ? phrase(code) : reason) + "\r\n";
    for (const auto& [name, value] : headers) {
      out += name + ": " + value + "\r\n";
    }
    out += "Content-Length: " + std::to_string(length) + "\r\n";
    out += "Connection: close\r\n\r\n";
    return out;
  }

  std::string wire() const { return head(body.size()) + body; }

  static std::string phrase(uint16_t code)
  {
    static const std::map<uint16_t, std::string> phrases = {
        {200, "OK"},
        {201, "Created"},
        {204, "No Content"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"}};
    auto found = phrases.find(code);
    return found != phrases.end() ? found->second : "Status";
  }
};


// Answers a request; called on the peer's thread, so it must not block.
typedef std::function<Answer(const Request&)> Handler;


// What the peer does with a connection.
enum class Fault
{
  // Answers with the handler's answer (or the behaviour's fixed one).
  NONE,
  // Nothing listens on the port: connections are refused. Only as the
  // default behaviour; queued for one request, the connection is reset
  // once the request has been read.
  REFUSE,
  // Reads the request and never answers; the connection stays open until
  // the client or the peer's destruction closes it.
  SILENT,
  // The answer after `pause`.
  DELAY,
  // The answer one byte every `pause`.
  DRIP,
  // The answer's head declaring more body than follows, half the body,
  // then a reset (SO_LINGER 0 close).
  RESET_MID_BODY,
  // `bytes` as they are, whatever they are, then a close.
  RAW,
  // A "200 OK" head declaring `declared` body bytes, then those bytes
  // streamed until all are sent or the client goes.
  HUGE_BODY,
  // A "200 OK" chunked body without end, until the client goes.
  ENDLESS,
};


struct Behaviour
{
  Fault fault = Fault::NONE;
  std::chrono::milliseconds pause{0};
  std::string bytes;
  uint64_t declared = 0;

  // A fixed answer in place of the handler's.
  std::optional<Answer> answer;

  static Behaviour normal() { return Behaviour(); }

  static Behaviour answering(const Answer& answer)
  {
    Behaviour behaviour;
    behaviour.answer = answer;
    return behaviour;
  }

  static Behaviour status(uint16_t code, const std::string& body = "")
  {
    Answer answer;
    answer.code = code;
    answer.body = body;
    return answering(answer);
  }

  // "200 OK" with `body`, typically something the client cannot use.
  static Behaviour garbageBody(const std::string& body = "<html>no json")
  {
    return status(200, body);
  }

  static Behaviour refuse() { return of(Fault::REFUSE); }
  static Behaviour silent() { return of(Fault::SILENT); }

  static Behaviour delayed(std::chrono::milliseconds pause)
  {
    Behaviour behaviour = of(Fault::DELAY);
    behaviour.pause = pause;
    return behaviour;
  }

  static Behaviour drip(std::chrono::milliseconds pause)
  {
    Behaviour behaviour = of(Fault::DRIP);
    behaviour.pause = pause;
    return behaviour;
  }

  static Behaviour resetMidBody() { return of(Fault::RESET_MID_BODY); }

  static Behaviour raw(const std::string& bytes)
  {
    Behaviour behaviour = of(Fault::RAW);
    behaviour.bytes = bytes;
    return behaviour;
  }

  // Bytes that are no HTTP response.
  static Behaviour garbage() { return raw("NOT HTTP AT ALL\r\n\r\n"); }

  static Behaviour hugeBody(uint64_t declared)
  {
    Behaviour behaviour = of(Fault::HUGE_BODY);
    behaviour.declared = declared;
    return behaviour;
  }

  static Behaviour endless() { return of(Fault::ENDLESS); }

private:
  static Behaviour of(Fault fault)
  {
    Behaviour behaviour;
    behaviour.fault = fault;
    return behaviour;
  }
};


class FaultPeer
{
public:
  typedef std::chrono::milliseconds Wait;

  // A peer on 127.0.0.1:`port` (by default a free port) that answers
  // every request with `handler` (by default "404 Not Found").
  explicit FaultPeer(Handler handler = Handler(), uint16_t port = 0);

  ~FaultPeer();

  FaultPeer(const FaultPeer&) = delete;
  FaultPeer& operator=(const FaultPeer&) = delete;

  // 0 if the port could not be bound.
  uint16_t port() const;

  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path = "/") const;

  void setHandler(Handler handler);

  // The behaviour for every request that has none queued. REFUSE closes
  // the listening socket; any other behaviour listens again on the same
  // port. Returns once the listener is as asked. Not from a handler.
  void setDefault(const Behaviour& behaviour);

  // The behaviour for the next request, before the default; queued ones
  // are taken in order.
  void enqueue(const Behaviour& behaviour);

  // Normal answers wait until release(); the requests are still read and
  // recorded, and their answers made, as they arrive.
  void hold();
  void release();

  std::vector<Request> requests() const;
  size_t requestCount() const;

  // The n-th request (counting from 1) once it has been read, or nothing
  // if it has not arrived within `limit`.
  std::optional<Request> waitForRequest(size_t n, Wait limit = Wait(10000));

  // Whether the client closed the n-th connection (counting from 1 in the
  // order accepted) within `limit`.
  bool waitForClientClose(size_t n, Wait limit = Wait(10000));

  // Whether the peer has written at least `bytes` bytes, over all
  // connections, within `limit`.
  bool waitForBytesSent(uint64_t bytes, Wait limit = Wait(10000));

  uint64_t bytesSent() const;

private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace fault_peer {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_FAULT_PEER_HPP__
