// An authorization request in JSON, as the host's endpoint takes one and
// as Mesos builds them from what frameworks send: the protobuf form, the
// resource ids and actions it maps to, the space label of its task or
// executor, and the object's text for the audit records. Every id must
// begin with the mapping's base.

#include <string>
#include <vector>

#include <mesos/authorizer/authorizer.hpp>

#include <stout/json.hpp>
#include <stout/protobuf.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include "ovra_auth/resource_mapping.hpp"

#include "fuzz/fuzz_support.hpp"

using namespace ovra_test;

using mesos::ObjectApprover;
using mesos::ovra::ResourceAction;
using mesos::ovra::ResourceMapping;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  fuzz::quietLogs();
  return 0;
}


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Try<JSON::Object> json = JSON::parse<JSON::Object>(fuzz::text(data, size));
  if (json.isError()) {
    return 0;
  }

  Try<mesos::authorization::Request> request =
      protobuf::parse<mesos::authorization::Request>(json.get());
  if (request.isError()) {
    return 0;
  }

  static const ResourceMapping mapping("ovra:mesos", "master", "OVRA_SPACE");

  Option<ObjectApprover::Object> object;
  if (request->has_object()) {
    object = ObjectApprover::Object(request->object());
    ResourceMapping::stringifyObject(object.get());
    if (request->object().has_task_info()) {
      mapping.extractSpace(request->object().task_info());
    }
    if (request->object().has_executor_info()) {
      mapping.extractSpace(request->object().executor_info());
    }
    if (request->object().has_task()) {
      mapping.extractSpace(request->object().task());
    }
  }

  Try<std::vector<ResourceAction>> actions =
      mapping.resourceAction(request->action(), object);
  if (actions.isSome()) {
    for (const ResourceAction& action : actions.get()) {
      if (!strings::startsWith(action.rid_, "ovra:mesos:master")) {
        fuzz::fail("a resource id outside the base: " + action.rid_);
      }
    }
  }
  return 0;
}
