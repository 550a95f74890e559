#ifndef __PROCESS_PROCESS_HPP__
#define __PROCESS_PROCESS_HPP__

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>

#include <process/address.hpp>
#include <process/event.hpp>
#include <process/future.hpp>
#include <process/http.hpp>
#include <process/message.hpp>
#include <process/pid.hpp>

#include <stout/duration.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

// Actors. An actor (a ProcessBase) runs on one worker thread at a time and
// handles its events (messages, dispatches, HTTP requests, exits of linked
// actors, termination) one at a time in the order they arrived. spawn()
// starts it, terminate() ends it, wait() blocks until it has ended.

namespace process {

class ProcessManager;

class ProcessBase : public EventVisitor
{
public:
  // An empty id is replaced by ID::generate().
  explicit ProcessBase(const std::string& id = "");

  ~ProcessBase() override;

  UPID self() const { return pid_; }

protected:
  // Handles one event; the default visits it.
  virtual void serve(const Event& event) { event.visit(this); }

  // A message runs its installed handler, else is passed on to its
  // delegate, else is dropped.
  void visit(const MessageEvent& event) override;
  void visit(const DispatchEvent& event) override;
  void visit(const HttpEvent& event) override;
  void visit(const ExitedEvent& event) override;
  void visit(const TerminateEvent& event) override;

  // Runs once after spawn(), before any event.
  virtual void initialize() {}

  // Runs on termination, as the actor's last event (from
  // visit(TerminateEvent)).
  virtual void finalize() {}

  // A linked actor has ended.
  virtual void exited(const UPID&) {}

  // Not called: a local link cannot be lost.
  virtual void lost(const UPID&) {}

  // Sends a message from this actor; does nothing if `to` is not set.
  void send(
      const UPID& to,
      const std::string& name,
      const char* data = nullptr,
      size_t length = 0);

  // How link() treats a remote actor; local links ignore it.
  enum class RemoteConnection
  {
    REUSE,
    RECONNECT,
  };

  // Asks for exited(pid) once `pid` ends: at once if it is not running.
  // Only actors of this process can be linked to.
  UPID link(
      const UPID& pid,
      const RemoteConnection remote = RemoteConnection::REUSE);

  typedef std::function<void(const UPID&, const std::string&)> MessageHandler;

  void install(const std::string& name, const MessageHandler& handler);

  template <typename T>
  void install(
      const std::string& name,
      void (T::*method)(const UPID&, const std::string&))
  {
    T* t = dynamic_cast<T*>(this);
    install(name, [t, method](const UPID& from, const std::string& body) {
      (t->*method)(from, body);
    });
  }

  typedef std::function<Future<http::Response>(const http::Request&)>
    HttpRequestHandler;

  typedef std::function<Future<http::Response>(
      const http::Request&, const Option<std::string>&)>
    AuthenticatedHttpRequestHandler;

  struct RouteOptions
  {
    RouteOptions() : requestStreaming(false) {}

    // Not supported: requests always arrive with their whole body.
    bool requestStreaming;
  };

  // Serves `handler` on this actor at "/<id><name>"; `name` starts with
  // '/'. A request for "/<id>/a/b" goes to the route "/a/b", else "/a".
  void route(
      const std::string& name,
      const Option<std::string>& help,
      const HttpRequestHandler& handler,
      const RouteOptions& options = RouteOptions());

  template <typename T>
  void route(
      const std::string& name,
      const Option<std::string>& help,
      Future<http::Response> (T::*method)(const http::Request&),
      const RouteOptions& options = RouteOptions())
  {
    T* t = dynamic_cast<T*>(this);
    route(
        name,
        help,
        HttpRequestHandler([t, method](const http::Request& request) {
          return (t->*method)(request);
        }),
        options);
  }

  // As above, but each request is first authenticated by the authenticator
  // of `realm` (see http::authentication::setAuthenticator): its
  // Unauthorized or Forbidden answer is sent back as it is, and the handler
  // gets the principal. With no authenticator for the realm the handler
  // runs with no principal, as in libprocess.
  void route(
      const std::string& name,
      const std::string& realm,
      const Option<std::string>& help,
      const AuthenticatedHttpRequestHandler& handler,
      const RouteOptions& options = RouteOptions());

  template <typename T>
  void route(
      const std::string& name,
      const std::string& realm,
      const Option<std::string>& help,
      Future<http::Response> (T::*method)(
          const http::Request&, const Option<std::string>&),
      const RouteOptions& options = RouteOptions())
  {
    T* t = dynamic_cast<T*>(this);
    route(
        name,
        realm,
        help,
        AuthenticatedHttpRequestHandler(
            [t, method](
                const http::Request& request,
                const Option<std::string>& principal) {
              return (t->*method)(request, principal);
            }),
        options);
  }

private:
  friend class ProcessManager;

  struct Data;

  Future<http::Response> handleHttp(
      const std::shared_ptr<http::Request>& request,
      const HttpEvent::BodyReader& body);

  std::unique_ptr<Data> data_;
  UPID pid_;
};


template <typename T>
class Process : public virtual ProcessBase
{
public:
  ~Process() override {}

  // Valid before spawn() too.
  PID<T> self() const { return PID<T>(static_cast<const T*>(this)); }

protected:
  typedef T Self;
  typedef T This;
};


// Starts the runtime: worker threads, the clock and the HTTP server on
// LIBPROCESS_IP:LIBPROCESS_PORT (127.0.0.1 and a free port when unset),
// and the metrics process ("/metrics/snapshot", authenticated in
// `readonlyAuthenticationRealm` when given). Runs once; every other entry
// point calls it. Returns true on the call that did the work. A server
// that cannot listen is fatal, as in libprocess. The other realms are
// accepted for compatibility and unused.
bool initialize(
    const Option<std::string>& delegate = None(),
    const Option<std::string>& readwriteAuthenticationRealm = None(),
    const Option<std::string>& readonlyAuthenticationRealm = None());

// Does nothing: the runtime lives until the process exits.
void finalize(bool finalizeWsa = false);

// The address of this process's listening socket.
network::inet::Address address();

// Starts `process`, which must have a unique id. Returns an empty UPID if
// an actor with that id is running, or `process` is null. With `manage`
// the runtime deletes the actor once it has ended.
UPID spawn(ProcessBase* process, bool manage = false);

inline UPID spawn(ProcessBase& process, bool manage = false)
{
  return spawn(&process, manage);
}

template <typename T>
PID<T> spawn(T* t, bool manage = false)
{
  PID<T> pid(t);
  if (!spawn(static_cast<ProcessBase*>(t), manage)) {
    return PID<T>();
  }
  return pid;
}

template <typename T>
PID<T> spawn(T& t, bool manage = false)
{
  return spawn(&t, manage);
}

// Ends the actor after the event it is handling: with `inject` ahead of
// the events already queued (which are then dropped), else after them.
void terminate(const UPID& pid, bool inject = true);
void terminate(const ProcessBase& process, bool inject = true);
void terminate(const ProcessBase* process, bool inject = true);

// Blocks until the actor has ended, at most `duration` on the libprocess
// clock (negative: no limit). Returns false if it was not running or the
// time ran out. An actor cannot wait for itself.
bool wait(const UPID& pid, const Duration& duration = Seconds(-1));
bool wait(const ProcessBase& process, const Duration& duration = Seconds(-1));
bool wait(const ProcessBase* process, const Duration& duration = Seconds(-1));

// Sends a message without a sender, or from `from`.
void post(
    const UPID& to,
    const std::string& name,
    const char* data = nullptr,
    size_t length = 0);

void post(
    const UPID& from,
    const UPID& to,
    const std::string& name,
    const char* data = nullptr,
    size_t length = 0);


inline void terminate(const ProcessBase& process, bool inject)
{
  terminate(process.self(), inject);
}


inline void terminate(const ProcessBase* process, bool inject)
{
  terminate(process->self(), inject);
}


inline bool wait(const ProcessBase& process, const Duration& duration)
{
  return process::wait(process.self(), duration);
}


inline bool wait(const ProcessBase* process, const Duration& duration)
{
  return process::wait(process->self(), duration);
}


namespace internal {

// The actor whose event this thread is handling, or null.
ProcessBase* current();

} // namespace internal {

} // namespace process {

#endif // __PROCESS_PROCESS_HPP__
