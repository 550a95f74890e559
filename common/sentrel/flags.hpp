#ifndef __COMMON_SENTREL_FLAGS_HPP__
#define __COMMON_SENTREL_FLAGS_HPP__

// The flag groups that several modules share. Each group derives virtually
// from flags::FlagsBase, so a module's flags class that inherits several of
// them has one registry and one load() that fills all their members.

#include <string>

#include <process/http.hpp>

#include <stout/duration.hpp>
#include <stout/flags.hpp>
#include <stout/option.hpp>

#include "common/sentrel.pb.h"
#include "common/sentrel/flag_parsers.hpp"

namespace mesos {
namespace sentrel {

// Where the IAM service is reached when the `iam` flag is not given: port
// 8101 of the leading master, under its cluster DNS name.
constexpr char DEFAULT_IAM_HOST[] = "leader.mesos";
constexpr uint16_t DEFAULT_IAM_PORT = 8101;


class NetworkFlags : public virtual flags::FlagsBase
{
public:
  NetworkFlags();

  Duration network_timeout;
};


// `host` names the process that loaded the module; absent or empty fails the
// load with "'host' is required". Which names a module accepts is its own
// check.
class HostFlags : public virtual flags::FlagsBase
{
public:
  HostFlags();

  Option<std::string> host;
};


class AnonymousUserFlags : public virtual flags::FlagsBase
{
public:
  AnonymousUserFlags();

  Option<std::string> anonymous_principal;
};


// The base URL of every request to the IAM service.
class SentrelRemoteFlags : public virtual flags::FlagsBase
{
public:
  SentrelRemoteFlags();

  process::http::URL iam;
};


// What a module needs to log in to the IAM service as a service account.
// Reaches FlagsBase through NetworkFlags.
class Flags : public NetworkFlags
{
public:
  Flags();

  Option<corvanta::Credential> service_account_credential;
  Duration jwt_exp_timeout;
};

} // namespace sentrel {
} // namespace mesos {


namespace corvanta {

// `audit_log` true turns the audit records on (whatever its help text says).
class AuditLogFlags : public virtual flags::FlagsBase
{
public:
  AuditLogFlags();

  bool audit_log;

  // "logfmt" (the default) or "json": the form of each record's line.
  std::string audit_format;
};

} // namespace corvanta {

#endif // __COMMON_SENTREL_FLAGS_HPP__
