#ifndef __STOUT_HASHSET_HPP__
#define __STOUT_HASHSET_HPP__

#include <functional>
#include <initializer_list>
#include <set>
#include <unordered_set>
#include <utility>

// std::unordered_set with a `contains` test and set union.
template <
    typename Elem,
    typename Hash = std::hash<Elem>,
    typename Equal = std::equal_to<Elem>>
class hashset : public std::unordered_set<Elem, Hash, Equal>
{
  typedef std::unordered_set<Elem, Hash, Equal> Base;

public:
  hashset() {}

  hashset(const std::set<Elem>& set) : Base(set.begin(), set.end()) {}

  hashset(std::initializer_list<Elem> list) : Base(list) {}

  template <typename Iterator>
  hashset(Iterator first, Iterator last) : Base(first, last) {}

  bool contains(const Elem& elem) const { return Base::count(elem) > 0; }
};


template <typename Elem, typename Hash, typename Equal>
hashset<Elem, Hash, Equal>& operator|=(
    hashset<Elem, Hash, Equal>& left,
    const hashset<Elem, Hash, Equal>& right)
{
  left.insert(right.begin(), right.end());
  return left;
}


template <typename Elem, typename Hash, typename Equal>
hashset<Elem, Hash, Equal> operator|(
    const hashset<Elem, Hash, Equal>& left,
    const hashset<Elem, Hash, Equal>& right)
{
  hashset<Elem, Hash, Equal> result = left;
  result |= right;
  return result;
}

#endif // __STOUT_HASHSET_HPP__
