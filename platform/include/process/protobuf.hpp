#ifndef __PROCESS_PROTOBUF_HPP__
#define __PROCESS_PROTOBUF_HPP__

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <glog/logging.h>

#include <google/protobuf/message.h>
#include <google/protobuf/repeated_field.h>

#include <process/event.hpp>
#include <process/pid.hpp>
#include <process/process.hpp>

// An actor that exchanges protobuf messages. A message travels under its
// full protobuf type name ("mesos.internal.AuthenticationStepMessage") with
// the serialized message as body. Handlers are installed per type, taking
// the message or some of its fields; a message whose required fields are
// missing is dropped with a warning, its handler not called.

namespace process {

// Posts `message` to `to` under its type name, from no actor or as if
// from `from`.
inline void post(const UPID& to, const google::protobuf::Message& message)
{
  std::string data;
  message.SerializeToString(&data);
  post(to, message.GetTypeName(), data.data(), data.size());
}


inline void post(
    const UPID& from,
    const UPID& to,
    const google::protobuf::Message& message)
{
  std::string data;
  message.SerializeToString(&data);
  post(from, to, message.GetTypeName(), data.data(), data.size());
}

namespace internal {

template <typename X>
const X& protobufField(const X& x)
{
  return x;
}

template <typename X>
std::vector<X> protobufField(const google::protobuf::RepeatedPtrField<X>& xs)
{
  return std::vector<X>(xs.begin(), xs.end());
}

template <typename X>
std::vector<X> protobufField(const google::protobuf::RepeatedField<X>& xs)
{
  return std::vector<X>(xs.begin(), xs.end());
}

// Parses `data` as an M; on missing required fields logs
// "Initialization errors: ..." and returns false.
template <typename M>
bool parseProtobuf(const std::string& data, M* m)
{
  m->ParsePartialFromString(data);
  if (!m->IsInitialized()) {
    LOG(WARNING) << "Initialization errors: "
                 << m->InitializationErrorString();
    return false;
  }
  return true;
}

} // namespace internal {
} // namespace process {


template <typename T>
class ProtobufProcess : public process::Process<T>
{
public:
  ~ProtobufProcess() override {}

protected:
  // Protobuf handlers first, then the plain ones of ProcessBase.
  void visit(const process::MessageEvent& event) override
  {
    auto it = protobufHandlers_.find(event.message->name);
    if (it == protobufHandlers_.end()) {
      process::Process<T>::visit(event);
      return;
    }
    from_ = event.message->from;
    it->second(event.message->from, event.message->body);
    from_ = process::UPID();
  }

  void send(const process::UPID& to, const google::protobuf::Message& message)
  {
    std::string data;
    message.SerializePartialToString(&data);
    process::Process<T>::send(
        to, message.GetTypeName(), data.data(), data.size());
  }

  using process::Process<T>::send;

  // Sends `message` to the sender of the message being handled. Outside a
  // protobuf handler there is no sender: the reply is dropped with an
  // error logged.
  void reply(const google::protobuf::Message& message)
  {
    if (!from_) {
      LOG(ERROR) << "Attempting to reply without a sender";
      return;
    }
    send(from_, message);
  }

  template <typename M>
  void install(void (T::*method)(const process::UPID&, const M&))
  {
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method](const process::UPID& from, const std::string& data) {
        M m;
        if (process::internal::parseProtobuf(data, &m)) {
          (t->*method)(from, m);
        }
      };
  }

  template <typename M>
  void install(void (T::*method)(const process::UPID&))
  {
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method](const process::UPID& from, const std::string&) {
        (t->*method)(from);
      };
  }

  template <typename M>
  void install(void (T::*method)(const M&))
  {
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method](const process::UPID&, const std::string& data) {
        M m;
        if (process::internal::parseProtobuf(data, &m)) {
          (t->*method)(m);
        }
      };
  }

  template <typename M>
  void install(void (T::*method)())
  {
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method](const process::UPID&, const std::string&) {
        (t->*method)();
      };
  }

  // Handlers taking the sender and fields of M, each read by a getter of M;
  // repeated fields arrive as std::vector.
  template <typename M, typename P1, typename... P, typename... PC>
  void install(
      void (T::*method)(const process::UPID&, PC...),
      P1 (M::*param1)() const,
      P (M::*... params)() const)
  {
    static_assert(
        sizeof...(PC) == sizeof...(P) + 1,
        "One getter per handler parameter");
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method, param1, params...](
          const process::UPID& from, const std::string& data) {
        M m;
        if (process::internal::parseProtobuf(data, &m)) {
          (t->*method)(
              from,
              process::internal::protobufField((m.*param1)()),
              process::internal::protobufField((m.*params)())...);
        }
      };
  }

  // Handlers taking only fields of M.
  template <typename M, typename P1, typename... P, typename... PC>
  void install(
      void (T::*method)(PC...),
      P1 (M::*param1)() const,
      P (M::*... params)() const)
  {
    static_assert(
        sizeof...(PC) == sizeof...(P) + 1,
        "One getter per handler parameter");
    T* t = static_cast<T*>(this);
    protobufHandlers_[M().GetTypeName()] =
      [t, method, param1, params...](
          const process::UPID&, const std::string& data) {
        M m;
        if (process::internal::parseProtobuf(data, &m)) {
          (t->*method)(
              process::internal::protobufField((m.*param1)()),
              process::internal::protobufField((m.*params)())...);
        }
      };
  }

  using process::Process<T>::install;

private:
  typedef std::function<void(const process::UPID&, const std::string&)>
    Handler;

  std::map<std::string, Handler> protobufHandlers_;

  // The sender of the message being handled, for reply().
  process::UPID from_;
};

#endif // __PROCESS_PROTOBUF_HPP__
