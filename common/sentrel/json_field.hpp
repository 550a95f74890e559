#ifndef __COMMON_SENTREL_JSON_FIELD_HPP__
#define __COMMON_SENTREL_JSON_FIELD_HPP__

// Field access shared by the readers of IAM documents: tokens, key sets and
// service-account files.

#include <string>

#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/none.hpp>
#include <stout/result.hpp>
#include <stout/try.hpp>

namespace mesos {
namespace sentrel {

// The field `name` of `object` as a T, or None when it is absent (each
// caller words that case itself). A value of another type, null included,
// is the error "Error when extracting '<name>' field from <context>: Found
// JSON value of wrong type": a field given as null is present, so it is
// never mistaken for an absent one. With T = JSON::Value every present
// value is returned, null too. The field is not copied: the pointer is
// valid as long as `object` is.
template <typename T>
Result<const T*> extractField(
    const JSON::Object& object,
    const std::string& name,
    const std::string& context)
{
  auto field = object.values.find(name);
  if (field == object.values.end()) {
    return None();
  }

  if (!field->second.is<T>()) {
    return Error(
        "Error when extracting '" + name + "' field from " + context +
        ": Found JSON value of wrong type");
  }

  return &field->second.as<T>();
}


// The same for a field that must be there: absent, it is the error
// `missing`; of another type, null included, extractField's error.
template <typename T>
Try<const T*> requiredField(
    const JSON::Object& object,
    const std::string& name,
    const std::string& context,
    const std::string& missing)
{
  Result<const T*> field = extractField<T>(object, name, context);
  if (field.isError()) {
    return Error(field.error());
  }

  if (field.isNone()) {
    return Error(missing);
  }

  return field.get();
}

} // namespace sentrel {
} // namespace mesos {

#endif // __COMMON_SENTREL_JSON_FIELD_HPP__
