#ifndef __STOUT_STRINGIFY_HPP__
#define __STOUT_STRINGIFY_HPP__

#include <list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <stout/hashmap.hpp>
#include <stout/hashset.hpp>

// Text of a value through its operator<<. Containers print their elements
// stringified: sequences as "[ a, b ]", sets as "{ a, b }", maps as
// "{ k: v, ... }"; an empty sequence is "[  ]".

// Declared up front so that nested containers find each other.
template <typename T>
std::string stringify(const std::list<T>& list);
template <typename T>
std::string stringify(const std::vector<T>& vector);
template <typename T>
std::string stringify(const std::set<T>& set);
template <typename T, typename Hash, typename Equal>
std::string stringify(const hashset<T, Hash, Equal>& set);
template <typename K, typename V>
std::string stringify(const std::map<K, V>& map);
template <typename K, typename V, typename Hash, typename Equal>
std::string stringify(const hashmap<K, V, Hash, Equal>& map);


template <typename T>
std::string stringify(T t)
{
  std::ostringstream out;
  out << t;
  return out.str();
}


template <>
inline std::string stringify(bool b)
{
  return b ? "true" : "false";
}


namespace stout {
namespace internal {

template <typename Iterator>
std::string stringifyElements(
    Iterator begin,
    Iterator end,
    const char* open,
    const char* close)
{
  std::string result = open;
  for (Iterator it = begin; it != end; ++it) {
    if (it != begin) {
      result += ", ";
    }
    result += stringify(*it);
  }
  return result + close;
}


template <typename Iterator>
std::string stringifyEntries(Iterator begin, Iterator end)
{
  std::string result = "{ ";
  for (Iterator it = begin; it != end; ++it) {
    if (it != begin) {
      result += ", ";
    }
    result += stringify(it->first) + ": " + stringify(it->second);
  }
  return result + " }";
}

} // namespace internal
} // namespace stout


template <typename T>
std::string stringify(const std::list<T>& list)
{
  return stout::internal::stringifyElements(
      list.begin(), list.end(), "[ ", " ]");
}


template <typename T>
std::string stringify(const std::vector<T>& vector)
{
  return stout::internal::stringifyElements(
      vector.begin(), vector.end(), "[ ", " ]");
}


template <typename T>
std::string stringify(const std::set<T>& set)
{
  return stout::internal::stringifyElements(
      set.begin(), set.end(), "{ ", " }");
}


template <typename T, typename Hash, typename Equal>
std::string stringify(const hashset<T, Hash, Equal>& set)
{
  return stout::internal::stringifyElements(
      set.begin(), set.end(), "{ ", " }");
}


template <typename K, typename V>
std::string stringify(const std::map<K, V>& map)
{
  return stout::internal::stringifyEntries(map.begin(), map.end());
}


template <typename K, typename V, typename Hash, typename Equal>
std::string stringify(const hashmap<K, V, Hash, Equal>& map)
{
  return stout::internal::stringifyEntries(map.begin(), map.end());
}

#endif // __STOUT_STRINGIFY_HPP__
