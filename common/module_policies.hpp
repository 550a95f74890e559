#ifndef __COMMON_MODULE_POLICIES_HPP__
#define __COMMON_MODULE_POLICIES_HPP__

// Every module's creation policy, one row each. A factory loads its
// parameters (a failure always refuses), runs its check, then makes the
// module (a failure always refuses); the rows differ in what they check,
// the texts they log, and whether a failed check refuses.
//
// | Module               | Load        | Check                 | Failed check |
// |----------------------|-------------|-----------------------|--------------|
// | HTTP authenticator   | flags       | host is agent, master | refuses      |
// | Authorizer           | flags       | flags.validate()      | refuses      |
// | Secrets hook         | flags       | flags.validate()      | creates      |
// | Secrets isolator     | flags       | flags.validate()      | creates      |
// | SSL executor hook    | flags       | none                  |              |
// | SSL executor isolat. | flags       | none                  |              |
// | Classic authenticatee| prepare()   | none                  |              |
// | Classic authenticator| prepare()   | none                  |              |
//
// The secrets modules are created despite a failed check because a store
// that cannot be reached now may be reached later: each fetch meets the
// store afresh. A classic module's prepare() loads its flags and, for the
// authenticator, fetches the IAM service's key, so it is the load step.

#include "common/module_factory.hpp"

namespace corvanta {

constexpr ModulePolicy HTTP_AUTHENTICATOR_POLICY = {
  "", "", OnCheckFailure::REFUSE, "Failed to create OVRA HTTP authenticator: "};

constexpr ModulePolicy AUTHORIZER_POLICY = {
  "",
  "Failed to validate parameters: ",
  OnCheckFailure::REFUSE,
  "Failed to create OVRA authorizer: "};

constexpr ModulePolicy SECRETS_POLICY = {
  "", "Failed to validate parameters: ", OnCheckFailure::CREATE, ""};

constexpr ModulePolicy SSL_EXECUTOR_POLICY = {
  "", "", OnCheckFailure::REFUSE, ""};

constexpr ModulePolicy CLASSIC_AUTHENTICATEE_POLICY = {
  "Error initializing module 'com_corvanta_ovra_ClassicRPCAuthenticatee': ",
  "",
  OnCheckFailure::REFUSE,
  ""};

constexpr ModulePolicy CLASSIC_AUTHENTICATOR_POLICY = {
  "Error initializing module 'com_corvanta_ovra_ClassicRPCAuthenticator': ",
  "",
  OnCheckFailure::REFUSE,
  ""};

} // namespace corvanta {

#endif // __COMMON_MODULE_POLICIES_HPP__
