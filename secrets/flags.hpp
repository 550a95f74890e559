#ifndef __SECRETS_FLAGS_HPP__
#define __SECRETS_FLAGS_HPP__

// Flags of the secrets hook and isolator.

#include <string>

#include <process/http.hpp>

#include "common/sentrel/flags.hpp"

namespace mesos {
namespace secrets {

class Flags : public sentrel::Flags, public corvanta::AuditLogFlags
{
public:
  Flags();

  process::http::URL store_url;
  std::string special_secret_protobuf_label;
  std::string special_secret_space_label;
};

} // namespace secrets {
} // namespace mesos {

#endif // __SECRETS_FLAGS_HPP__
