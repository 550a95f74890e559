#ifndef __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__
#define __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__

// The endpoints of the host, served by an actor named after its role
// ("master" or "agent") as Mesos's own are: "/<role>/state" and
// "/<role>/flags" require authentication through the realm's HTTP
// authenticator; "/<role>/health" does not.

#include <string>

#include <process/future.hpp>
#include <process/http.hpp>
#include <process/process.hpp>

#include <stout/option.hpp>

namespace ovra_host {

class HostProcess : public process::Process<HostProcess>
{
public:
  HostProcess(const std::string& role, const std::string& realm);

protected:
  void initialize() override;

private:
  process::Future<process::http::Response> authenticated(
      const process::http::Request& request,
      const Option<std::string>& principal);

  const std::string role_;
  const std::string realm_;
};

} // namespace ovra_host {

#endif // __TOOLS_OVRA_HOST_HOST_PROCESS_HPP__
