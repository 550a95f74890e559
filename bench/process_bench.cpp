// Asio's handler bookkeeping uses std::atomic_thread_fence, which GCC
// reports under -fsanitize=thread (-Wtsan), and GCC 12 mistakes Beast's
// boost::optional fields for uninitialized under -fsanitize=address. Both
// are in Boost's code, not ours.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
#pragma GCC diagnostic ignored "-Wtsan"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

#include <process/dispatch.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/id.hpp>
#include <process/process.hpp>

// libprocess costs beside a baseline without it: a dispatch round trip
// beside a bare thread handoff, a future chain beside plain calls, and an
// HTTP GET on loopback through the libprocess client and server beside the
// same exchange with a plain socket on one side.

namespace {

using boost::asio::ip::tcp;

class EchoProcess : public process::Process<EchoProcess>
{
public:
  EchoProcess() : ProcessBase(process::ID::generate("bench-echo")) {}

  int echo(int x) { return x; }

protected:
  void initialize() override
  {
    route("/ping", None(), [](const process::http::Request&) {
      return process::http::OK("pong");
    });
  }
};


EchoProcess* echoProcess()
{
  static EchoProcess* process = []() {
    EchoProcess* process = new EchoProcess();
    process::spawn(process, true);
    return process;
  }();
  return process;
}


void BM_DispatchRoundTrip(benchmark::State& state)
{
  const process::PID<EchoProcess> pid = echoProcess()->self();
  int i = 0;
  for (auto _ : state) {
    process::Future<int> future =
      process::dispatch(pid, &EchoProcess::echo, i++);
    benchmark::DoNotOptimize(future.get());
  }
}
BENCHMARK(BM_DispatchRoundTrip);


// A function handed to another thread and its answer handed back, with a
// mutex and condition variables: the floor under any dispatch.
void BM_ThreadHandoffBaseline(benchmark::State& state)
{
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<int()>> requests;
  bool answered = false;
  int answer = 0;
  bool stop = false;

  std::thread worker([&]() {
    std::unique_lock<std::mutex> lock(mutex);
    while (true) {
      changed.wait(lock, [&]() { return stop || !requests.empty(); });
      if (stop) {
        return;
      }
      std::function<int()> request = std::move(requests.front());
      requests.pop_front();
      answer = request();
      answered = true;
      changed.notify_all();
    }
  });

  int i = 0;
  for (auto _ : state) {
    std::unique_lock<std::mutex> lock(mutex);
    const int x = i++;
    requests.push_back([x]() { return x; });
    answered = false;
    changed.notify_all();
    changed.wait(lock, [&]() { return answered; });
    benchmark::DoNotOptimize(answer);
  }

  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
    changed.notify_all();
  }
  worker.join();
}
BENCHMARK(BM_ThreadHandoffBaseline);


void BM_FutureChain(benchmark::State& state)
{
  for (auto _ : state) {
    process::Promise<int> promise;
    process::Future<int> future = promise.future();
    for (int step = 0; step < 10; ++step) {
      future = future.then([](int x) { return x + 1; });
    }
    promise.set(0);
    benchmark::DoNotOptimize(future.get());
  }
}
BENCHMARK(BM_FutureChain);


// The same ten steps as plain calls through std::function.
void BM_FunctionChainBaseline(benchmark::State& state)
{
  for (auto _ : state) {
    std::vector<std::function<int(int)>> steps;
    for (int step = 0; step < 10; ++step) {
      steps.push_back([](int x) { return x + 1; });
    }
    int x = 0;
    for (const auto& f : steps) {
      x = f(x);
    }
    benchmark::DoNotOptimize(x);
  }
}
BENCHMARK(BM_FunctionChainBaseline);


process::http::URL pingUrl()
{
  const process::UPID pid = echoProcess()->self();
  return process::http::URL(
      "http", pid.address.ip, pid.address.port, "/" + pid.id + "/ping");
}


void BM_HttpGetRoundTrip(benchmark::State& state)
{
  const process::http::URL url = pingUrl();
  for (auto _ : state) {
    process::Future<process::http::Response> response =
      process::http::get(url);
    if (!response.await(Seconds(10)) || !response.isReady()) {
      state.SkipWithError("request failed");
      return;
    }
    benchmark::DoNotOptimize(response->body);
  }
}
BENCHMARK(BM_HttpGetRoundTrip);


std::string exchange(tcp::socket& socket, const std::string& request)
{
  boost::asio::write(socket, boost::asio::buffer(request));
  boost::asio::streambuf buffer;
  boost::system::error_code error;
  boost::asio::read(socket, buffer, error);
  return std::string(
      boost::asio::buffers_begin(buffer.data()),
      boost::asio::buffers_end(buffer.data()));
}


// The libprocess server answering a plain blocking socket client.
void BM_HttpGetPlainClientBaseline(benchmark::State& state)
{
  const process::http::URL url = pingUrl();
  const std::string request = "GET " + url.path +
    " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  const tcp::endpoint endpoint(
      boost::asio::ip::address_v4::loopback(), url.port.get());

  boost::asio::io_context io;
  for (auto _ : state) {
    tcp::socket socket(io);
    socket.connect(endpoint);
    benchmark::DoNotOptimize(exchange(socket, request));
  }
}
BENCHMARK(BM_HttpGetPlainClientBaseline);


// The libprocess client answered by a plain blocking socket server.
void BM_HttpGetPlainServerBaseline(benchmark::State& state)
{
  boost::asio::io_context io;
  tcp::acceptor acceptor(
      io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
  const uint16_t port = acceptor.local_endpoint().port();
  std::atomic<bool> stop(false);

  std::thread server([&]() {
    while (true) {
      tcp::socket socket(io);
      boost::system::error_code error;
      acceptor.accept(socket, error);
      if (error || stop.load()) {
        return;
      }
      boost::asio::streambuf buffer;
      boost::asio::read_until(socket, buffer, "\r\n\r\n", error);
      const std::string answer =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
        "Content-Length: 4\r\nConnection: close\r\n\r\npong";
      boost::asio::write(socket, boost::asio::buffer(answer), error);
      socket.shutdown(tcp::socket::shutdown_both, error);
    }
  });

  const process::http::URL url(
      "http", net::IP(INADDR_LOOPBACK), port, "/ping");
  for (auto _ : state) {
    process::Future<process::http::Response> response =
      process::http::get(url);
    if (!response.await(Seconds(10)) || !response.isReady()) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(response->body);
  }

  stop.store(true);
  tcp::socket wake(io);
  boost::system::error_code ignored;
  wake.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(), port), ignored);
  server.join();
}
BENCHMARK(BM_HttpGetPlainServerBaseline);

} // namespace {

BENCHMARK_MAIN();
