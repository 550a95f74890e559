#ifndef __STOUT_HASHMAP_HPP__
#define __STOUT_HASHMAP_HPP__

#include <functional>
#include <initializer_list>
#include <list>
#include <map>
#include <unordered_map>
#include <utility>

#include <stout/hashset.hpp>
#include <stout/none.hpp>
#include <stout/option.hpp>

// std::unordered_map with Option-returning lookup and a few conveniences.
template <
    typename Key,
    typename Value,
    typename Hash = std::hash<Key>,
    typename Equal = std::equal_to<Key>>
class hashmap : public std::unordered_map<Key, Value, Hash, Equal>
{
  typedef std::unordered_map<Key, Value, Hash, Equal> Base;

public:
  hashmap() {}

  hashmap(const std::map<Key, Value>& map) : Base(map.begin(), map.end()) {}

  hashmap(std::initializer_list<std::pair<const Key, Value>> list)
    : Base(list) {}

  bool contains(const Key& key) const { return Base::count(key) > 0; }

  bool containsValue(const Value& value) const
  {
    for (const auto& entry : *this) {
      if (entry.second == value) {
        return true;
      }
    }
    return false;
  }

  // Inserts or replaces.
  void put(const Key& key, const Value& value)
  {
    Base::erase(key);
    Base::insert(std::pair<Key, Value>(key, value));
  }

  Option<Value> get(const Key& key) const
  {
    auto it = Base::find(key);
    if (it == Base::end()) {
      return None();
    }
    return it->second;
  }

  hashset<Key> keys() const
  {
    hashset<Key> result;
    for (const auto& entry : *this) {
      result.insert(entry.first);
    }
    return result;
  }

  std::list<Value> values() const
  {
    std::list<Value> result;
    for (const auto& entry : *this) {
      result.push_back(entry.second);
    }
    return result;
  }
};

#endif // __STOUT_HASHMAP_HPP__
