#ifndef __MESOS_SLAVE_CONTAINERIZER_HPP__
#define __MESOS_SLAVE_CONTAINERIZER_HPP__

// The containerizer messages that isolators see (package mesos.slave).
#include <mesos/slave/containerizer.pb.h>

#endif // __MESOS_SLAVE_CONTAINERIZER_HPP__
