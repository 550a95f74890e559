#ifndef __MESOS_MODULE_MODULE_HPP__
#define __MESOS_MODULE_MODULE_HPP__

// The module manifest message, mesos::Modules.
#include <mesos/module/module.pb.h>

#endif // __MESOS_MODULE_MODULE_HPP__
