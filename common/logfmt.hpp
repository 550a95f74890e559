#ifndef __COMMON_LOGFMT_HPP__
#define __COMMON_LOGFMT_HPP__

// Audit records of security decisions: one line per decision, written to
// the process log at INFO, as logfmt key=value pairs or, when an operator
// asks for it, as one JSON object. Each deciding actor owns one LogFmt; it
// is immutable, so log() may run on any thread.

#include <string>

#include <process/address.hpp>
#include <process/time.hpp>

#include <stout/option.hpp>

namespace corvanta {

class LogFmt
{
public:
  enum class Audit { ENABLED = 0, DISABLED = 1 };

  // The component that decided, written as "mesos-master", "mesos-agent"
  // or "mesos secrets hook/isolator".
  enum class Authorizer
  {
    MESOS_MASTER = 0,
    MESOS_AGENT = 1,
    MESOS_SECRETS = 2,
  };

  enum class Result { ALLOW = 0, DENY = 1 };

  // The form of a record's line. LOGFMT: key=value pairs in no fixed
  // order. JSON: one object with the same keys, each value a string, keys
  // in a fixed order and the timestamp with a "T" between date and time.
  enum class Format { LOGFMT = 0, JSON = 1 };

  // One record by field. The optional ones appear only when set.
  struct Record
  {
    process::Time timestamp;
    Authorizer authorizer = Authorizer::MESOS_MASTER;
    Option<std::string> uid;
    std::string action;
    std::string object;
    Result result = Result::DENY;
    Option<std::string> reason;
    Option<process::network::Address> source;
    Option<process::network::Address> destination;
    Option<std::string> agent;
  };

  explicit LogFmt(Audit audit, Format format = Format::LOGFMT)
    : audit_(audit), format_(format) {}

  // Whether records are written: callers skip building costly values for
  // a record that would be dropped.
  bool enabled() const { return audit_ == Audit::ENABLED; }

  // Writes one record, unless auditing is disabled. Free-text values are
  // quoted, and cut with a marker of their size beyond a few KiB (the
  // object and the reason) or one KiB (the others), so that a record stays
  // whole within glog's limit on a message. In the logfmt form the order
  // of the pairs on the line is not fixed: readers find fields by key.
  void write(const Record& record) const;

  // The same with the record's fields in a row, each by reference.
  void log(
      const process::Time& timestamp,
      Authorizer authorizer,
      const Option<std::string>& uid,
      const std::string& action,
      const std::string& object,
      Result result,
      const Option<std::string>& reason,
      const Option<process::network::Address>& source,
      const Option<process::network::Address>& destination,
      const Option<std::string>& agent) const;

private:
  const Audit audit_;
  const Format format_;
};

} // namespace corvanta {

#endif // __COMMON_LOGFMT_HPP__
