#ifndef __MESOS_HPP__
#define __MESOS_HPP__

// The public messages of package `mesos` and the release version.
#include <mesos/mesos.pb.h>

#include <mesos/version.hpp>

#endif // __MESOS_HPP__
