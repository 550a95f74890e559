#ifndef __STOUT_NONE_HPP__
#define __STOUT_NONE_HPP__

// The absent value of an Option, a Result or a Future-less optional: `None()`
// converts to any Option<T>.
struct None {};

#endif // __STOUT_NONE_HPP__
