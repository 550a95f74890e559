// A permissions document as the IAM service returns it: the JSON, its
// protobuf form, the flattening into (resource id, actions) records, and
// the index the approvers match on. The index must answer exactly as the
// plain scan of the list does, for ids taken from the document and a few
// fixed ones.

#include <string>
#include <vector>

#include <stout/try.hpp>

#include "ovra_auth/permission_index.hpp"
#include "ovra_auth/permissions.hpp"
#include "ovra_auth/resource_id.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

using namespace mesos::ovra;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Try<Permissions> permissions = parsePermissions(fuzz::text(data, size));
  if (permissions.isError()) {
    return 0;
  }

  std::vector<std::string> ids = {
      "",
      ":",
      "ovra:superuser",
      "ovra:mesos:master:task",
      "ovra:mesos:master:task:app_id:/prod/web",
  };
  for (const auto& permission : permissions.get()) {
    ids.push_back(permission->rid_);
    ids.push_back(permission->rid_ + "/sub");
    ids.push_back(permission->rid_ + ":more");
  }

  const PermissionIndex index(permissions.get());
  for (const std::string& id : ids) {
    const RIDTokens requested = tokenizeRID(id);
    for (Action action : {CREATE, READ, UPDATE, DELETE, FULL}) {
      if (index.grantedBy(requested, action) !=
          firstGrant(index.list(), requested, action)) {
        fuzz::fail("the index and the scan disagree on '" + id + "'");
      }
    }
  }
  return 0;
}
