#ifndef __STOUT_FOREACH_HPP__
#define __STOUT_FOREACH_HPP__

#include <iterator>
#include <tuple>
#include <utility>

// Loop macros used throughout Mesos code:
//
//   foreach (const std::string& name, names) { ... }
//   foreachpair (const std::string& key, int value, map) { ... }
//   foreachkey (const std::string& key, map) { ... }
//   foreachvalue (int value, map) { ... }
//
// `break` and `continue` behave as in a plain loop over the elements.

#define foreach(ELEM, ELEMS) for (ELEM : ELEMS)

namespace stout {
namespace internal {

// A range of exactly one element: lets a range-based `for` bind a
// declaration (KEY or VALUE) to a part of a pair.
template <typename T>
struct ForeachSingle
{
  T* element;
  T* begin() const { return element; }
  T* end() const { return element + 1; }
};

template <typename T>
ForeachSingle<T> foreachSingle(T& t)
{
  return ForeachSingle<T>{&t};
}

} // namespace internal
} // namespace stout

// The innermost loop runs the body once and clears `stout_foreach_break_`
// when the body ends normally or by `continue`. After a `break` the flag
// stays set, and the element loop stops without stepping its iterator (the
// body may have erased the current element). The one-element binding loops
// end on their own either way.
#define STOUT_FOREACH_BIND(DECL, PART)                                      \
  for (DECL : ::stout::internal::foreachSingle(                             \
           std::get<PART>(*stout_foreach_it_)))

#define STOUT_FOREACH_ELEMENTS(ELEMS)                                       \
  if (bool stout_foreach_break_ = false) {} else                            \
  if (auto&& stout_foreach_range_ = ELEMS; false) {} else                   \
  for (auto stout_foreach_it_ = std::begin(stout_foreach_range_),           \
            stout_foreach_end_ = std::end(stout_foreach_range_);            \
       !stout_foreach_break_ && stout_foreach_it_ != stout_foreach_end_;    \
       stout_foreach_break_ ? (void) 0 : (void) ++stout_foreach_it_)

#define STOUT_FOREACH_BODY_ONCE                                             \
  for (bool stout_foreach_once_ = (stout_foreach_break_ = true);            \
       stout_foreach_once_;                                                 \
       stout_foreach_once_ = false, stout_foreach_break_ = false)

#define foreachpair(KEY, VALUE, ELEMS)                                      \
  STOUT_FOREACH_ELEMENTS(ELEMS)                                             \
  STOUT_FOREACH_BIND(KEY, 0)                           \
  STOUT_FOREACH_BIND(VALUE, 1)                         \
  STOUT_FOREACH_BODY_ONCE

#define foreachkey(KEY, ELEMS)                                              \
  STOUT_FOREACH_ELEMENTS(ELEMS)                                             \
  STOUT_FOREACH_BIND(KEY, 0)                           \
  STOUT_FOREACH_BODY_ONCE

#define foreachvalue(VALUE, ELEMS)                                          \
  STOUT_FOREACH_ELEMENTS(ELEMS)                                             \
  STOUT_FOREACH_BIND(VALUE, 1)                         \
  STOUT_FOREACH_BODY_ONCE

#endif // __STOUT_FOREACH_HPP__
