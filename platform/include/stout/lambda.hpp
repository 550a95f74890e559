#ifndef __STOUT_LAMBDA_HPP__
#define __STOUT_LAMBDA_HPP__

#include <functional>

// Mesos code spells the standard function wrappers as lambda::function,
// lambda::bind and lambda::_1.
namespace lambda {

using std::bind;
using std::cref;
using std::function;
using std::ref;

using namespace std::placeholders;

} // namespace lambda

#endif // __STOUT_LAMBDA_HPP__
