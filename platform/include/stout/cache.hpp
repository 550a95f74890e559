#ifndef __STOUT_CACHE_HPP__
#define __STOUT_CACHE_HPP__

#include <stddef.h>

#include <functional>
#include <list>
#include <ostream>
#include <unordered_map>
#include <utility>

#include <stout/none.hpp>
#include <stout/option.hpp>

// A least-recently-used cache of at most `capacity` entries. put() and a
// hitting get() make the entry the most recent; inserting into a full cache
// evicts the least recent entry. Not thread-safe: the owner serialises.
//
// A capacity of 0 switches caching off: put() stores nothing and get()
// always misses. (Mesos's Cache crashes on the first put in that case.)
template <typename Key, typename Value>
class Cache
{
public:
  typedef std::list<Key> list;
  typedef std::unordered_map<Key, std::pair<Value, typename list::iterator>>
    map;

  explicit Cache(size_t _capacity) : capacity(_capacity) {}

  Cache(const Cache&) = delete;
  Cache& operator=(const Cache&) = delete;

  void put(const Key& key, const Value& value)
  {
    if (capacity == 0) {
      return;
    }

    auto i = values.find(key);
    if (i != values.end()) {
      i->second.first = value;
      use(i);
      return;
    }

    if (keys.size() >= capacity) {
      values.erase(keys.front());
      keys.pop_front();
    }

    auto position = keys.insert(keys.end(), key);
    values.emplace(key, std::make_pair(value, position));
  }

  Option<Value> get(const Key& key)
  {
    auto i = values.find(key);
    if (i == values.end()) {
      return None();
    }

    use(i);
    return i->second.first;
  }

  // Removes the entry and returns its value, if present.
  Option<Value> erase(const Key& key)
  {
    auto i = values.find(key);
    if (i == values.end()) {
      return None();
    }

    Value value = i->second.first;
    keys.erase(i->second.second);
    values.erase(i);
    return value;
  }

  size_t size() const { return keys.size(); }

  // One "key: value" line per entry, least recent first.
  friend std::ostream& operator<<(std::ostream& stream, const Cache& cache)
  {
    for (const Key& key : cache.keys) {
      stream << key << ": " << cache.values.at(key).first << std::endl;
    }
    return stream;
  }

private:
  void use(typename map::iterator i)
  {
    keys.splice(keys.end(), keys, i->second.second);
  }

  const size_t capacity;
  map values;
  list keys; // Least recently used first.
};

#endif // __STOUT_CACHE_HPP__
