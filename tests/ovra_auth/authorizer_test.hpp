#ifndef __TESTS_OVRA_AUTH_AUTHORIZER_TEST_HPP__
#define __TESTS_OVRA_AUTH_AUTHORIZER_TEST_HPP__

// The authorizer tests' common steps against a FakeIAM: the module's flags
// for a master or an agent, and the approver of a principal for viewing
// flags, which needs no object to decide.

#include <string>

#include <mesos/authorizer/authorizer.hpp>

#include <process/future.hpp>
#include <process/owned.hpp>

#include <stout/option.hpp>
#include <stout/try.hpp>

#include "ovra_auth/authorizer.hpp"
#include "tools/ovra_dev_iam/core/dev_iam.hpp"

#include "support/fake_iam.hpp"
#include "support/test_keys.hpp"

namespace ovra_test {
namespace authorizer_test {

// On an agent the authorizer logs in with a service account that `iam`
// knows.
inline mesos::ovra::OVRAAuthorizer::Flags flagsFor(
    const FakeIAM& iam,
    const std::string& host)
{
  mesos::ovra::OVRAAuthorizer::Flags flags;
  flags.host = host;
  flags.iam = iam.url();
  flags.users = "/users";
  if (host == "agent") {
    flags.service_account_credential = dev_iam::rs256Credential(
        "agent-sa", test_keys::PRIVATE_KEY, iam.loginEndpoint());
  }
  return flags;
}


inline process::Future<process::Owned<mesos::ObjectApprover>> approver(
    mesos::ovra::OVRAAuthorizer& authorizer,
    const std::string& principal)
{
  mesos::authorization::Subject subject;
  subject.set_value(principal);
  return authorizer.getObjectApprover(
      subject, mesos::authorization::VIEW_FLAGS);
}


// Whether the approver, once there, allows viewing the flags.
inline bool allows(
    const process::Future<process::Owned<mesos::ObjectApprover>>& approver)
{
  const Try<bool> approved = approver.get()->approved(None());
  return approved.isSome() && approved.get();
}

} // namespace authorizer_test {
} // namespace ovra_test {

#endif // __TESTS_OVRA_AUTH_AUTHORIZER_TEST_HPP__
