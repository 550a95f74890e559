#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <glog/logging.h>

#include <process/clock.hpp>
#include <process/defer.hpp>
#include <process/dispatch.hpp>
#include <process/event.hpp>
#include <process/id.hpp>
#include <process/process.hpp>
#include <process/metrics/metrics.hpp>
#include <process/timer.hpp>

#include <stout/strings.hpp>

#include "authenticator_manager.hpp"
#include "runtime.hpp"

// The runtime: a table of running actors, a run queue and a pool of worker
// threads. An actor is on the run queue at most once, so it runs on one
// thread at a time; its state (below) says whether it is queued, running
// or idle. The runtime is created on first use and deliberately never
// destroyed: its threads may still be blocked in it while the program's
// static objects are destroyed at exit.

namespace process {

namespace {

// Opened once an actor has ended; wait() blocks on it.
struct Gate
{
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
};

thread_local ProcessBase* currentProcess = nullptr;

// How many events an actor handles before it goes to the back of the run
// queue, so that a busy actor cannot starve the others.
constexpr int EVENTS_PER_TURN = 64;

// Most bytes of messages queued for one actor before messages from other OS
// processes to it are dropped: a peer would otherwise fill the memory of
// this one by sending to an actor that is busy. Messages between actors of
// this process count, but are never dropped. libprocess 1.2.0's mailboxes
// have no bound.
constexpr uint64_t MAX_QUEUED_MESSAGE_BYTES = 128 * 1024 * 1024;


// What a queued event holds of messages: a message's body and name.
uint64_t messageBytes(const Event& event)
{
  if (!event.is<MessageEvent>()) {
    return 0;
  }
  const Message* message = static_cast<const MessageEvent&>(event).message;
  return message == nullptr ? 0 : message->body.size() + message->name.size();
}

} // namespace {


struct ProcessBase::Data
{
  enum State
  {
    BOTTOM,      // Spawned, initialize() not run yet; on the run queue.
    READY,       // On the run queue.
    RUNNING,     // On a worker thread.
    BLOCKED,     // Idle, no events.
    TERMINATING, // Handling termination; new events are dropped.
    TERMINATED,
  };

  // Guards `state`, `events` and `queuedMessageBytes`.
  std::mutex mutex;
  State state = BOTTOM;
  std::deque<Event*> events;
  // What the queued events hold of messages (see messageBytes()).
  uint64_t queuedMessageBytes = 0;

  bool spawned = false;
  bool manage = false;
  std::shared_ptr<Gate> gate = std::make_shared<Gate>();

  struct HttpEndpoint
  {
    Option<HttpRequestHandler> handler;
    Option<std::string> realm;
    Option<AuthenticatedHttpRequestHandler> authenticatedHandler;
  };

  // Used on the actor's own thread only (or before spawn).
  std::map<std::string, MessageHandler> messageHandlers;
  std::map<std::string, HttpEndpoint> endpoints;
};


class ProcessManager
{
public:
  ProcessManager()
  {
    // As in libprocess, at least 8: an actor that blocks its thread on a
    // future (a few module steps must) cannot starve the others.
    const unsigned cores = std::thread::hardware_concurrency();
    const unsigned workers = std::max(8u, cores);
    for (unsigned i = 0; i < workers; ++i) {
      // Never joined: see the note at the top of this file.
      workers_.push_back(new std::thread(&ProcessManager::work, this));
    }
    VLOG(1) << "Started " << workers << " worker threads";
  }

  UPID spawn(ProcessBase* process, bool manage)
  {
    const UPID pid = process->self();
    {
      std::lock_guard<std::mutex> lock(processesMutex_);
      if (processes_.count(pid.id) > 0 || process->data_->spawned) {
        LOG(ERROR) << "Attempted to spawn already running process " << pid;
        return UPID();
      }
      process->data_->spawned = true;
      process->data_->manage = manage;
      processes_[pid.id] = process;
    }

    VLOG(2) << "Spawned process " << pid;
    schedule(process);
    return pid;
  }

  // Queues `event` for the actor `to`. Returns the event back, unqueued, if
  // there is no such actor here or it is ending: the caller disposes of it
  // (outside any lock, as its destructor may run callbacks).
  // A `bounded` event is refused too when its actor's queue holds
  // MAX_QUEUED_MESSAGE_BYTES of messages with it.
  Event* deliver(
      const UPID& to,
      Event* event,
      bool inject = false,
      bool bounded = false)
  {
    if (to.address != localAddress_) {
      VLOG(1) << "Dropping event for remote process " << to;
      return event;
    }

    std::lock_guard<std::mutex> lock(processesMutex_);
    auto it = processes_.find(to.id);
    if (it == processes_.end()) {
      VLOG(2) << "Dropping event for process " << to << ": not running";
      return event;
    }
    return enqueue(it->second, event, inject, bounded);
  }

  void deliverOrDrop(const UPID& to, Event* event, bool inject = false)
  {
    delete deliver(to, event, inject);
  }

  void link(ProcessBase* from, const UPID& to)
  {
    if (to.address != localAddress_) {
      {
        std::lock_guard<std::mutex> lock(processesMutex_);
        linkedRemote_[from->self().id].insert(to.address);
      }
      internal::linkRemote(from->self(), to);
      return;
    }

    bool running = false;
    {
      std::lock_guard<std::mutex> lock(processesMutex_);
      running = processes_.count(to.id) > 0;
      if (running) {
        links_[to.id].insert(from->self());
        linked_[from->self().id].insert(to.id);
      }
    }

    if (!running) {
      deliverOrDrop(from->self(), new ExitedEvent(to));
    }
  }

  bool wait(const UPID& pid, const Duration& duration)
  {
    if (currentProcess != nullptr && currentProcess->self() == pid) {
      LOG(ERROR) << "Process " << pid << " attempted to wait for itself";
      return false;
    }

    std::shared_ptr<Gate> gate;
    {
      std::lock_guard<std::mutex> lock(processesMutex_);
      auto it = processes_.find(pid.id);
      if (pid.address != localAddress_ || it == processes_.end()) {
        return false;
      }
      gate = it->second->data_->gate;
    }

    std::unique_lock<std::mutex> lock(gate->mutex);
    if (duration < Duration::zero()) {
      gate->opened.wait(lock, [&]() { return gate->open; });
      return true;
    }

    // The limit runs on the libprocess clock, as in libprocess.
    std::shared_ptr<bool> expired = std::make_shared<bool>(false);
    lock.unlock();
    Timer timer = Clock::timer(duration, [gate, expired]() {
      std::lock_guard<std::mutex> lock(gate->mutex);
      *expired = true;
      gate->opened.notify_all();
    });
    lock.lock();
    gate->opened.wait(lock, [&]() { return gate->open || *expired; });
    const bool open = gate->open;
    lock.unlock();
    Clock::cancel(timer);
    return open;
  }

  bool idle()
  {
    std::lock_guard<std::mutex> lock(runqMutex_);
    return runq_.empty() && running_ == 0;
  }

  bool running(const std::string& id)
  {
    std::lock_guard<std::mutex> lock(processesMutex_);
    return processes_.count(id) > 0;
  }

  void setAddress(const network::inet::Address& address)
  {
    localAddress_ = address;
  }

  const network::inet::Address& address() const { return localAddress_; }

private:
  // REQUIRES: processesMutex_ held.
  Event* enqueue(
      ProcessBase* process,
      Event* event,
      bool inject,
      bool bounded)
  {
    ProcessBase::Data& data = *process->data_;
    const uint64_t bytes = messageBytes(*event);
    bool wake = false;
    {
      std::lock_guard<std::mutex> lock(data.mutex);
      if (data.state == ProcessBase::Data::TERMINATING ||
          data.state == ProcessBase::Data::TERMINATED) {
        return event;
      }
      if (bounded &&
          data.queuedMessageBytes + bytes > MAX_QUEUED_MESSAGE_BYTES) {
        LOG_EVERY_T(WARNING, 1)
          << "Dropping a message for " << process->self() << ": "
          << data.queuedMessageBytes
          << " bytes of messages are queued for it";
        return event;
      }
      data.queuedMessageBytes += bytes;
      if (inject) {
        data.events.push_front(event);
      } else {
        data.events.push_back(event);
      }
      if (data.state == ProcessBase::Data::BLOCKED) {
        data.state = ProcessBase::Data::READY;
        wake = true;
      }
    }
    if (wake) {
      schedule(process);
    }
    return nullptr;
  }

  void schedule(ProcessBase* process)
  {
    std::lock_guard<std::mutex> lock(runqMutex_);
    runq_.push_back(process);
    internal::Activity::changed();
    runqReady_.notify_one();
  }

  void work()
  {
    while (true) {
      ProcessBase* process = nullptr;
      {
        std::unique_lock<std::mutex> lock(runqMutex_);
        runqReady_.wait(lock, [this]() { return !runq_.empty(); });
        process = runq_.front();
        runq_.pop_front();
        ++running_;
      }

      resume(process);

      std::lock_guard<std::mutex> lock(runqMutex_);
      --running_;
      internal::Activity::changed();
    }
  }

  // Runs the actor's initialize() if due, then its events, until it has no
  // more, has had its turn, or has ended.
  void resume(ProcessBase* process)
  {
    ProcessBase::Data& data = *process->data_;

    bool initialize = false;
    {
      std::lock_guard<std::mutex> lock(data.mutex);
      initialize = data.state == ProcessBase::Data::BOTTOM;
      data.state = ProcessBase::Data::RUNNING;
    }

    currentProcess = process;

    if (initialize) {
      process->initialize();
    }

    for (int handled = 0; ; ++handled) {
      Event* event = nullptr;
      {
        std::lock_guard<std::mutex> lock(data.mutex);
        if (data.events.empty()) {
          data.state = ProcessBase::Data::BLOCKED;
          break;
        }
        if (handled == EVENTS_PER_TURN) {
          data.state = ProcessBase::Data::READY;
          schedule(process);
          break;
        }
        event = data.events.front();
        data.events.pop_front();
        data.queuedMessageBytes -= messageBytes(*event);
      }

      const bool terminate = event->is<TerminateEvent>();

      process->serve(*event);
      delete event;

      if (terminate) {
        cleanup(process);
        break;
      }
    }

    currentProcess = nullptr;
  }

  // Ends the actor after its TerminateEvent: drops the events still queued,
  // removes it, tells the linked actors, deletes it if managed, and opens
  // its gate. Once removed the actor is not touched (wait() no longer finds
  // it, so its owner may delete it), unless it is managed.
  void cleanup(ProcessBase* process)
  {
    ProcessBase::Data& data = *process->data_;
    const UPID pid = process->self();

    std::deque<Event*> dropped;
    {
      std::lock_guard<std::mutex> lock(data.mutex);
      data.state = ProcessBase::Data::TERMINATING;
      dropped.swap(data.events);
    }

    VLOG(2) << "Cleaning up " << pid << " (" << dropped.size()
            << " events dropped)";

    // Dropping a dispatch discards its future; dropping an HTTP request
    // answers it with an error.
    for (Event* event : dropped) {
      delete event;
    }

    std::shared_ptr<Gate> gate = data.gate;
    const bool manage = data.manage;
    {
      std::lock_guard<std::mutex> lock(data.mutex);
      data.state = ProcessBase::Data::TERMINATED;
    }

    std::set<UPID> linkers;
    std::set<network::inet::Address> remoteLinks;
    {
      std::lock_guard<std::mutex> lock(processesMutex_);
      processes_.erase(pid.id);
      auto it = links_.find(pid.id);
      if (it != links_.end()) {
        linkers.swap(it->second);
        links_.erase(it);
      }
      // The actor no longer waits on those it linked to: a long-lived
      // actor that short-lived ones link to keeps no trace of them.
      auto targets = linked_.find(pid.id);
      if (targets != linked_.end()) {
        for (const std::string& target : targets->second) {
          auto linkersOfTarget = links_.find(target);
          if (linkersOfTarget != links_.end()) {
            linkersOfTarget->second.erase(pid);
            if (linkersOfTarget->second.empty()) {
              links_.erase(linkersOfTarget);
            }
          }
        }
        linked_.erase(targets);
      }
      auto remotes = linkedRemote_.find(pid.id);
      if (remotes != linkedRemote_.end()) {
        remoteLinks.swap(remotes->second);
        linkedRemote_.erase(remotes);
      }
    }

    if (!remoteLinks.empty()) {
      internal::unlinkRemote(pid, remoteLinks);
    }

    currentProcess = nullptr;

    for (const UPID& linker : linkers) {
      deliverOrDrop(linker, new ExitedEvent(pid));
    }

    if (manage) {
      delete process;
    }

    std::lock_guard<std::mutex> lock(gate->mutex);
    gate->open = true;
    gate->opened.notify_all();
  }

  network::inet::Address localAddress_ = network::inet::Address::ANY_ANY();

  std::mutex processesMutex_;
  std::unordered_map<std::string, ProcessBase*> processes_;
  // Actor id to the actors linked to it, and back: actor id to the ids it
  // linked to.
  std::unordered_map<std::string, std::set<UPID>> links_;
  std::unordered_map<std::string, std::set<std::string>> linked_;
  // Actor id to the remote addresses it linked through.
  std::unordered_map<std::string, std::set<network::inet::Address>>
    linkedRemote_;

  std::mutex runqMutex_;
  std::condition_variable runqReady_;
  std::deque<ProcessBase*> runq_;
  size_t running_ = 0;

  std::vector<std::thread*> workers_;
};


namespace {

// Set once by initialize(), never destroyed.
std::atomic<ProcessManager*> manager(nullptr);

// Runs defer(f) continuations made outside any actor.
class ExecutorProcess : public Process<ExecutorProcess>
{
public:
  ExecutorProcess() : ProcessBase(ID::generate("__executor__")) {}
};


// The settle-relevant activity count, and how many threads wait on it.
std::atomic<uint64_t> activity(0);
std::atomic<int> settlers(0);
std::mutex* settleMutex = new std::mutex();
std::condition_variable* settleChanged = new std::condition_variable();


// Starts the runtime once; returns true on the call that did.
bool startManager()
{
  static std::once_flag once;
  bool first = false;

  std::call_once(once, [&first]() {
    first = true;

    ProcessManager* processes = new ProcessManager();

    Try<network::inet::Address> address = internal::startServer();
    if (address.isError()) {
      LOG(FATAL) << "Failed to initialize: " << address.error();
    }
    processes->setAddress(address.get());

    manager.store(processes);
    VLOG(1) << "libprocess is initialized on " << address.get();
  });

  return first;
}


// Spawns the metrics process once, as libprocess's initialize() does.
// Its construction reaches this function again on the same thread, which
// then returns at once; other threads wait until it is running.
thread_local bool startingMetrics = false;

void startMetrics(const Option<std::string>& authenticationRealm)
{
  if (startingMetrics) {
    return;
  }

  static std::once_flag once;
  std::call_once(once, [&authenticationRealm]() {
    startingMetrics = true;
    metrics::internal::metrics = spawn(
        metrics::internal::MetricsProcess::create(authenticationRealm), true);
    startingMetrics = false;
  });
}


ProcessManager& processManager()
{
  startManager();
  startMetrics(None());
  return *manager.load();
}

} // namespace {


namespace internal {

uint64_t Activity::generation()
{
  return activity.load();
}


void Activity::changed()
{
  activity.fetch_add(1);
  // A settler counts itself in before reading the count, and we read
  // `settlers` after the increment, so one of us sees the other.
  if (settlers.load() > 0) {
    std::lock_guard<std::mutex> lock(*settleMutex);
    settleChanged->notify_all();
  }
}


void Activity::waitForChange(uint64_t seen)
{
  settlers.fetch_add(1);
  {
    std::unique_lock<std::mutex> lock(*settleMutex);
    settleChanged->wait(lock, [seen]() { return activity.load() != seen; });
  }
  settlers.fetch_sub(1);
}


bool actorsIdle()
{
  return processManager().idle();
}


ProcessBase* current()
{
  return currentProcess;
}


UPID executor()
{
  static UPID pid = []() {
    ExecutorProcess* executor = new ExecutorProcess();
    return process::spawn(executor, true);
  }();
  return pid;
}


void dispatch(
    const UPID& pid,
    const std::shared_ptr<std::function<void(ProcessBase*)>>& f,
    const Option<const std::type_info*>& functionType)
{
  // The event holds the only other reference to `f`: if it is dropped,
  // `f` and with it the dispatch's promise go too.
  processManager().deliverOrDrop(pid, new DispatchEvent(pid, f, functionType));
}


void routeHttp(
    http::Request&& request,
    const std::function<void(const Future<http::Response>&)>& respond,
    const HttpEvent::BodyReader& body)
{
  const std::string& path = request.url.path;

  if (path.find('/') != 0) {
    VLOG(1) << "Returning '400 Bad Request' for '" << path << "'";
    respond(http::BadRequest());
    return;
  }

  if (path.find("/..") != std::string::npos) {
    VLOG(1) << "Returning '404 Not Found' for '" << path
            << "' (ignoring requests with relative paths)";
    respond(http::NotFound());
    return;
  }

  const std::vector<std::string> tokens = strings::tokenize(path, "/");
  Try<std::string> id =
    tokens.empty() ? Try<std::string>(Error("no actor")) :
    http::decode(tokens[0]);

  if (id.isError()) {
    VLOG(1) << "Returning '404 Not Found' for '" << path << "'";
    respond(http::NotFound());
    return;
  }

  Promise<http::Response>* promise = new Promise<http::Response>();
  promise->future().onAny(respond);

  ProcessManager& processes = processManager();
  Event* refused = processes.deliver(
      UPID(id.get(), processes.address()),
      new HttpEvent(new http::Request(std::move(request)), promise, body));

  if (refused != nullptr) {
    VLOG(1) << "Returning '404 Not Found' for '" << path << "'";
    promise->set(http::NotFound());
    delete refused;
  }
}

} // namespace internal {


bool initialize(
    const Option<std::string>&,
    const Option<std::string>&,
    const Option<std::string>& readonlyAuthenticationRealm)
{
  const bool first = startManager();
  startMetrics(readonlyAuthenticationRealm);
  return first;
}


void finalize(bool) {}


network::inet::Address address()
{
  return processManager().address();
}


UPID spawn(ProcessBase* process, bool manage)
{
  if (process == nullptr) {
    return UPID();
  }
  return processManager().spawn(process, manage);
}


void terminate(const UPID& pid, bool inject)
{
  ProcessBase* current = internal::current();
  const UPID from = current != nullptr ? current->self() : UPID();
  processManager().deliverOrDrop(pid, new TerminateEvent(from), inject);
}


bool wait(const UPID& pid, const Duration& duration)
{
  return processManager().wait(pid, duration);
}


void post(const UPID& to, const std::string& name, const char* data, size_t length)
{
  post(UPID(), to, name, data, length);
}


namespace {

// A message of `length` bytes at `data` (none when null).
Message makeMessage(
    const UPID& from,
    const UPID& to,
    const std::string& name,
    const char* data,
    size_t length)
{
  Message message;
  message.name = name;
  message.from = from;
  message.to = to;
  message.body = data != nullptr ? std::string(data, length) : std::string();
  return message;
}

} // namespace {


void post(
    const UPID& from,
    const UPID& to,
    const std::string& name,
    const char* data,
    size_t length)
{
  if (!to) {
    return;
  }

  ProcessManager& processes = processManager();
  if (to.address != processes.address()) {
    internal::sendRemote(makeMessage(from, to, name, data, length));
    return;
  }

  processes.deliverOrDrop(
      to, new MessageEvent(new Message(makeMessage(from, to, name, data, length))));
}


namespace internal {

bool deliverMessage(Message&& message)
{
  const UPID to = message.to;
  Event* refused = processManager().deliver(
      to,
      new MessageEvent(new Message(std::move(message))),
      /*inject=*/false,
      /*bounded=*/true);
  if (refused != nullptr) {
    VLOG(2) << "Dropping event for process " << to;
    delete refused;
    return false;
  }
  return true;
}


void deliverExited(const UPID& to, const UPID& pid)
{
  processManager().deliverOrDrop(to, new ExitedEvent(pid));
}

} // namespace internal {


ProcessBase::ProcessBase(const std::string& id) : data_(new Data())
{
  pid_.id = id != "" ? id : ID::generate();
  pid_.address = processManager().address();
}


ProcessBase::~ProcessBase() {}


void ProcessBase::visit(const MessageEvent& event)
{
  const std::string& name = event.message->name;

  auto handler = data_->messageHandlers.find(name);
  if (handler != data_->messageHandlers.end()) {
    handler->second(event.message->from, event.message->body);
    return;
  }

  VLOG(1) << "Dropping message '" << name << "' to " << pid_
          << ": no handler";
}


void ProcessBase::visit(const DispatchEvent& event)
{
  (*event.f)(this);
}


void ProcessBase::visit(const HttpEvent& event)
{
  VLOG(1) << "Handling HTTP event for process '" << pid_.id << "'"
          << " with path: '" << event.request->url.path << "'";

  // The request is taken from the event, not copied: its body can be large.
  std::shared_ptr<http::Request> request =
    std::make_shared<http::Request>(std::move(*event.request));

  const std::string path = request->url.path;
  Future<http::Response> response = handleHttp(request, event.body);

  response.onAny([path](const Future<http::Response>& response) {
    if (!response.isReady()) {
      VLOG(1) << "Failed to process request for '" << path << "': "
              << (response.isFailed() ? response.failure() : "discarded");
    }
  });

  event.response->associate(response);
}


namespace {

// The request with its body, once `body` (if any) has read it.
Future<std::shared_ptr<http::Request>> withBody(
    const std::shared_ptr<http::Request>& request,
    const HttpEvent::BodyReader& body)
{
  if (!body) {
    return request;
  }

  return body(request).then([request]() { return request; });
}

} // namespace {


Future<http::Response> ProcessBase::handleHttp(
    const std::shared_ptr<http::Request>& request,
    const HttpEvent::BodyReader& body)
{
  const std::string& path = request->url.path;

  // "/<id>/a/b" is served by the route "/a/b", else by "/a".
  const std::vector<std::string> tokens = strings::tokenize(path, "/");
  std::string name = strings::remove(path, "/" + tokens[0], strings::PREFIX);
  name = strings::trim(name, strings::PREFIX, "/");

  while (true) {
    auto it = data_->endpoints.find(name);
    if (it != data_->endpoints.end()) {
      const Data::HttpEndpoint endpoint = it->second;

      if (endpoint.realm.isNone()) {
        return withBody(request, body)
          .then(defer(
              pid_,
              [endpoint](const std::shared_ptr<http::Request>& request) {
                return endpoint.handler.get()(*request);
              }));
      }

      // Authenticated from the head alone: a request that is refused never
      // has its body read. The authentication actor shares the request.
      const UPID pid = pid_;
      return internal::authenticate(request, endpoint.realm.get())
        .then(defer(
            pid_,
            [pid, endpoint, request, body](
                const Option<http::authentication::AuthenticationResult>&
                  authentication) -> Future<http::Response> {
              Option<std::string> principal = None();
              if (authentication.isSome()) {
                if (authentication->unauthorized.isSome()) {
                  return authentication->unauthorized.get();
                }
                if (authentication->forbidden.isSome()) {
                  return authentication->forbidden.get();
                }
                principal = authentication->principal;
              }
              return withBody(request, body)
                .then(defer(
                    pid,
                    [endpoint, principal](
                        const std::shared_ptr<http::Request>& request) {
                      return endpoint.authenticatedHandler.get()(
                          *request, principal);
                    }));
            }));
    }

    const size_t slash = name.find_last_of('/');
    if (name.empty() || slash == std::string::npos) {
      break;
    }
    name = name.substr(0, slash);
  }

  VLOG(1) << "Returning '404 Not Found' for '" << path << "'";
  return http::NotFound();
}


void ProcessBase::visit(const ExitedEvent& event)
{
  exited(event.pid);
}


void ProcessBase::visit(const TerminateEvent&)
{
  finalize();
}


void ProcessBase::send(
    const UPID& to,
    const std::string& name,
    const char* data,
    size_t length)
{
  if (!to) {
    return;
  }
  post(pid_, to, name, data, length);
}


UPID ProcessBase::link(const UPID& to, const RemoteConnection)
{
  if (!to) {
    return to;
  }
  processManager().link(this, to);
  return to;
}


void ProcessBase::install(
    const std::string& name,
    const MessageHandler& handler)
{
  data_->messageHandlers[name] = handler;
}


namespace {

// Endpoints are kept by their name without the leading '/'; a name without
// one is refused, where libprocess would abort.
Option<std::string> endpointKey(const std::string& name, const UPID& pid)
{
  if (name.find('/') != 0) {
    LOG(ERROR) << "Ignoring route '" << name << "' of " << pid
               << ": routes must start with '/'";
    return None();
  }
  return name.substr(1);
}

} // namespace {


void ProcessBase::route(
    const std::string& name,
    const Option<std::string>&,
    const HttpRequestHandler& handler,
    const RouteOptions&)
{
  const Option<std::string> key = endpointKey(name, pid_);
  if (key.isSome()) {
    Data::HttpEndpoint endpoint;
    endpoint.handler = handler;
    data_->endpoints[key.get()] = endpoint;
  }
}


void ProcessBase::route(
    const std::string& name,
    const std::string& realm,
    const Option<std::string>&,
    const AuthenticatedHttpRequestHandler& handler,
    const RouteOptions&)
{
  const Option<std::string> key = endpointKey(name, pid_);
  if (key.isSome()) {
    Data::HttpEndpoint endpoint;
    endpoint.realm = realm;
    endpoint.authenticatedHandler = handler;
    data_->endpoints[key.get()] = endpoint;
  }
}

} // namespace process {
