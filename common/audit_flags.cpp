#include "common/audit_flags.hpp"

#include <string>

namespace corvanta {

LogFmt auditLog(const AuditLogFlags& flags)
{
  return LogFmt(
      flags.audit_log ? LogFmt::Audit::ENABLED : LogFmt::Audit::DISABLED,
      flags.audit_format == "json" ? LogFmt::Format::JSON
                                   : LogFmt::Format::LOGFMT);
}


LogFmt::Authorizer hostAuthorizer(const mesos::sentrel::HostFlags& flags)
{
  return flags.host == std::string("master") ? LogFmt::Authorizer::MESOS_MASTER
                                              : LogFmt::Authorizer::MESOS_AGENT;
}

} // namespace corvanta {
