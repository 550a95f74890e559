#ifndef __STOUT_NOTHING_HPP__
#define __STOUT_NOTHING_HPP__

// The value of an operation that succeeds with no result: Try<Nothing>.
struct Nothing {};

#endif // __STOUT_NOTHING_HPP__
