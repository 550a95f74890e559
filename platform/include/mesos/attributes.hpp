#ifndef __MESOS_ATTRIBUTES_HPP__
#define __MESOS_ATTRIBUTES_HPP__

// A stand-in for Mesos's Attributes: an ordered collection of Attribute
// messages, enough for the hook interface (Result<Attributes>). Mesos's
// attribute parsing and lookup by name are not provided.

#include <cstddef>

#include <google/protobuf/repeated_field.h>

#include <mesos/mesos.hpp>

namespace mesos {

class Attributes
{
public:
  typedef google::protobuf::RepeatedPtrField<Attribute>::const_iterator
    const_iterator;

  Attributes() {}

  Attributes(const google::protobuf::RepeatedPtrField<Attribute>& attributes)
    : attributes_(attributes) {}

  size_t size() const { return static_cast<size_t>(attributes_.size()); }

  void add(const Attribute& attribute) { *attributes_.Add() = attribute; }

  const Attribute get(int index) const { return attributes_.Get(index); }

  const_iterator begin() const { return attributes_.begin(); }
  const_iterator end() const { return attributes_.end(); }

  operator const google::protobuf::RepeatedPtrField<Attribute>&() const
  {
    return attributes_;
  }

private:
  google::protobuf::RepeatedPtrField<Attribute> attributes_;
};

} // namespace mesos {

#endif // __MESOS_ATTRIBUTES_HPP__
