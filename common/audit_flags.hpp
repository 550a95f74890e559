#ifndef __COMMON_AUDIT_FLAGS_HPP__
#define __COMMON_AUDIT_FLAGS_HPP__

// How a module's flags configure its audit records: whether they are
// written, and which component the records name as the decider.

#include "common/logfmt.hpp"
#include "common/sentrel/flags.hpp"

namespace corvanta {

// A writer that is ENABLED when `audit_log` is true and DISABLED when it
// is false, in the form `audit_format` names.
LogFmt auditLog(const AuditLogFlags& flags);

// MESOS_MASTER when the module runs in a master (`host` is exactly
// "master"), else MESOS_AGENT.
LogFmt::Authorizer hostAuthorizer(const mesos::sentrel::HostFlags& flags);

} // namespace corvanta {

#endif // __COMMON_AUDIT_FLAGS_HPP__
