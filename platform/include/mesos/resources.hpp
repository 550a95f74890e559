#ifndef __MESOS_RESOURCES_HPP__
#define __MESOS_RESOURCES_HPP__

// A stand-in for Mesos's Resources: an ordered collection of Resource
// messages, enough for the hook and isolator interfaces (Result<Resources>,
// const Resources&). Mesos's resource arithmetic is not provided.

#include <cstddef>
#include <vector>

#include <google/protobuf/repeated_field.h>

#include <mesos/mesos.hpp>

namespace mesos {

class Resources
{
public:
  typedef google::protobuf::RepeatedPtrField<Resource>::const_iterator
    const_iterator;

  Resources() {}

  Resources(const Resource& resource) { add(resource); }

  Resources(const std::vector<Resource>& resources)
  {
    for (const Resource& resource : resources) {
      add(resource);
    }
  }

  Resources(const google::protobuf::RepeatedPtrField<Resource>& resources)
    : resources_(resources) {}

  bool empty() const { return resources_.empty(); }
  size_t size() const { return static_cast<size_t>(resources_.size()); }

  void add(const Resource& resource) { *resources_.Add() = resource; }

  const_iterator begin() const { return resources_.begin(); }
  const_iterator end() const { return resources_.end(); }

  operator const google::protobuf::RepeatedPtrField<Resource>&() const
  {
    return resources_;
  }

private:
  google::protobuf::RepeatedPtrField<Resource> resources_;
};

} // namespace mesos {

#endif // __MESOS_RESOURCES_HPP__
