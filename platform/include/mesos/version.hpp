#ifndef __MESOS_VERSION_HPP__
#define __MESOS_VERSION_HPP__

// The Mesos release this platform stands in for. Modules compile these into
// their descriptors and the module manager checks them on load.
#define MESOS_VERSION "1.2.0"

#define MESOS_MAJOR_VERSION "1"
#define MESOS_MAJOR_VERSION_NUM 1

#define MESOS_MINOR_VERSION "2"
#define MESOS_MINOR_VERSION_NUM 2

#define MESOS_PATCH_VERSION "0"
#define MESOS_PATCH_VERSION_NUM 0

#endif // __MESOS_VERSION_HPP__
