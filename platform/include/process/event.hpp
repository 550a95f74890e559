#ifndef __PROCESS_EVENT_HPP__
#define __PROCESS_EVENT_HPP__

#include <functional>
#include <memory>
#include <typeinfo>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/message.hpp>
#include <process/pid.hpp>

#include <stout/abort.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>

// The events an actor handles, one at a time in arrival order. Each event
// type is visited by the matching ProcessBase::visit overload.

namespace process {

class ProcessBase;

struct MessageEvent;
struct DispatchEvent;
struct HttpEvent;
struct ExitedEvent;
struct TerminateEvent;


struct EventVisitor
{
  virtual ~EventVisitor() {}
  virtual void visit(const MessageEvent&) {}
  virtual void visit(const DispatchEvent&) {}
  virtual void visit(const HttpEvent&) {}
  virtual void visit(const ExitedEvent&) {}
  virtual void visit(const TerminateEvent&) {}
};


struct Event
{
  virtual ~Event() {}

  virtual void visit(EventVisitor* visitor) const = 0;

  template <typename T>
  bool is() const
  {
    return dynamic_cast<const T*>(this) != nullptr;
  }

  // The event as its concrete type; asking for the wrong type is a
  // programming error and aborts.
  template <typename T>
  const T& as() const
  {
    const T* result = dynamic_cast<const T*>(this);
    if (result == nullptr) {
      ABORT("Attempting to \"cast\" event incorrectly!");
    }
    return *result;
  }
};


struct MessageEvent : Event
{
  explicit MessageEvent(Message* message_) : message(message_) {}

  MessageEvent(const MessageEvent& that)
    : message(that.message == nullptr ? nullptr : new Message(*that.message))
  {}

  MessageEvent& operator=(const MessageEvent&) = delete;

  ~MessageEvent() override { delete message; }

  void visit(EventVisitor* visitor) const override { visitor->visit(*this); }

  Message* const message;
};


// A request for one of the actor's routes. An event dropped unhandled (its
// actor terminated first) answers "500 Internal Server Error".
struct HttpEvent : Event
{
  // Stand-in only: reads the body of a request whose head came alone into
  // that request; it is called only once the request is authenticated.
  typedef std::function<Future<Nothing>(const std::shared_ptr<http::Request>&)>
    BodyReader;

  HttpEvent(
      http::Request* request_,
      Promise<http::Response>* response_,
      const BodyReader& body_ = BodyReader())
    : request(request_), response(response_), body(body_) {}

  HttpEvent(const HttpEvent&) = delete;
  HttpEvent& operator=(const HttpEvent&) = delete;

  ~HttpEvent() override
  {
    delete request;
    response->set(http::InternalServerError());
    delete response;
  }

  void visit(EventVisitor* visitor) const override { visitor->visit(*this); }

  http::Request* const request;
  Promise<http::Response>* response;
  const BodyReader body;
};


// A function to run on the actor, made by dispatch(). If the event is
// dropped without running, destroying `f` discards the future that the
// dispatch returned.
struct DispatchEvent : Event
{
  DispatchEvent(
      const UPID& pid_,
      const std::shared_ptr<std::function<void(ProcessBase*)>>& f_,
      const Option<const std::type_info*>& functionType_)
    : pid(pid_), f(f_), functionType(functionType_) {}

  DispatchEvent(const DispatchEvent&) = delete;
  DispatchEvent& operator=(const DispatchEvent&) = delete;

  void visit(EventVisitor* visitor) const override { visitor->visit(*this); }

  const UPID pid;
  const std::shared_ptr<std::function<void(ProcessBase*)>> f;
  const Option<const std::type_info*> functionType;
};


// A linked actor has ended.
struct ExitedEvent : Event
{
  explicit ExitedEvent(const UPID& pid_) : pid(pid_) {}

  ExitedEvent& operator=(const ExitedEvent&) = delete;

  void visit(EventVisitor* visitor) const override { visitor->visit(*this); }

  const UPID pid;
};


struct TerminateEvent : Event
{
  explicit TerminateEvent(const UPID& from_) : from(from_) {}

  TerminateEvent(const TerminateEvent&) = delete;
  TerminateEvent& operator=(const TerminateEvent&) = delete;

  void visit(EventVisitor* visitor) const override { visitor->visit(*this); }

  const UPID from;
};

} // namespace process {

#endif // __PROCESS_EVENT_HPP__
