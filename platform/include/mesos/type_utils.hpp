#ifndef __MESOS_TYPE_UTILS_HPP__
#define __MESOS_TYPE_UTILS_HPP__

// Comparison, printing and hashing for the public messages that modules key
// maps by or compare, which protoc does not generate. Semantics follow
// Mesos: IDs compare by value, a ContainerID also by its parent chain, and
// Labels and Environment compare as unordered collections.

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <type_traits>

#include <boost/functional/hash.hpp>

#include <mesos/mesos.hpp>

namespace mesos {
namespace internal {

// The IDs that are nothing but a `value`.
template <typename T>
struct IsValueId : std::false_type {};

template <> struct IsValueId<ExecutorID> : std::true_type {};
template <> struct IsValueId<FrameworkID> : std::true_type {};
template <> struct IsValueId<SlaveID> : std::true_type {};
template <> struct IsValueId<TaskID> : std::true_type {};

template <typename T>
using EnableForValueId = typename std::enable_if<IsValueId<T>::value>::type;

} // namespace internal {


template <typename T, typename = internal::EnableForValueId<T>>
inline bool operator==(const T& left, const T& right)
{
  return left.value() == right.value();
}


template <typename T, typename = internal::EnableForValueId<T>>
inline bool operator!=(const T& left, const T& right)
{
  return left.value() != right.value();
}


template <typename T, typename = internal::EnableForValueId<T>>
inline bool operator<(const T& left, const T& right)
{
  return left.value() < right.value();
}


template <typename T, typename = internal::EnableForValueId<T>>
inline bool operator==(const T& left, const std::string& right)
{
  return left.value() == right;
}


template <typename T, typename = internal::EnableForValueId<T>>
inline std::ostream& operator<<(std::ostream& stream, const T& id)
{
  return stream << id.value();
}


inline bool operator==(const ContainerID& left, const ContainerID& right)
{
  return left.value() == right.value() &&
    left.has_parent() == right.has_parent() &&
    (!left.has_parent() || left.parent() == right.parent());
}


inline bool operator!=(const ContainerID& left, const ContainerID& right)
{
  return !(left == right);
}


// Orders by the container's own value only, as Mesos does.
inline bool operator<(const ContainerID& left, const ContainerID& right)
{
  return left.value() < right.value();
}


inline bool operator==(const ContainerID& left, const std::string& right)
{
  return left.value() == right;
}


// A nested container prints as "parent.child".
inline std::ostream& operator<<(
    std::ostream& stream,
    const ContainerID& containerId)
{
  if (containerId.has_parent()) {
    stream << containerId.parent() << ".";
  }
  return stream << containerId.value();
}


inline std::ostream& operator<<(std::ostream& stream, const TaskState& state)
{
  return stream << TaskState_Name(state);
}


// Frameworks are the same if their name and user are.
inline bool operator==(const FrameworkInfo& left, const FrameworkInfo& right)
{
  return left.name() == right.name() && left.user() == right.user();
}


inline bool operator==(const Credential& left, const Credential& right)
{
  return left.principal() == right.principal() &&
    left.secret() == right.secret();
}


inline bool operator==(const Label& left, const Label& right)
{
  return left.key() == right.key() && left.value() == right.value();
}


inline bool operator==(
    const Environment::Variable& left,
    const Environment::Variable& right)
{
  return left.name() == right.name() && left.value() == right.value();
}


namespace internal {

// Equal sizes and every element of `left` found in `right`; order does not
// matter.
template <typename Repeated>
bool sameElements(const Repeated& left, const Repeated& right)
{
  if (left.size() != right.size()) {
    return false;
  }

  for (const auto& element : left) {
    bool found = false;
    for (const auto& candidate : right) {
      if (element == candidate) {
        found = true;
        break;
      }
    }
    if (!found) {
      return false;
    }
  }

  return true;
}

} // namespace internal {


inline bool operator==(const Labels& left, const Labels& right)
{
  return internal::sameElements(left.labels(), right.labels());
}


inline bool operator!=(const Labels& left, const Labels& right)
{
  return !(left == right);
}


inline bool operator==(const Environment& left, const Environment& right)
{
  return internal::sameElements(left.variables(), right.variables());
}


namespace internal {

template <typename Id>
struct ValueIdHash
{
  typedef size_t result_type;
  typedef Id argument_type;

  result_type operator()(const argument_type& id) const
  {
    size_t seed = 0;
    boost::hash_combine(seed, id.value());
    return seed;
  }
};

} // namespace internal {

} // namespace mesos {


namespace std {

template <>
struct hash<mesos::ContainerID>
{
  typedef size_t result_type;
  typedef mesos::ContainerID argument_type;

  result_type operator()(const argument_type& containerId) const
  {
    size_t seed = 0;
    boost::hash_combine(seed, containerId.value());
    if (containerId.has_parent()) {
      boost::hash_combine(seed, (*this)(containerId.parent()));
    }
    return seed;
  }
};


template <>
struct hash<mesos::ExecutorID>
  : mesos::internal::ValueIdHash<mesos::ExecutorID> {};

template <>
struct hash<mesos::FrameworkID>
  : mesos::internal::ValueIdHash<mesos::FrameworkID> {};

template <>
struct hash<mesos::SlaveID> : mesos::internal::ValueIdHash<mesos::SlaveID> {};

template <>
struct hash<mesos::TaskID> : mesos::internal::ValueIdHash<mesos::TaskID> {};

} // namespace std {

#endif // __MESOS_TYPE_UTILS_HPP__
