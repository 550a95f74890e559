#ifndef __MESOS_AUTHENTICATION_AUTHENTICATION_HPP__
#define __MESOS_AUTHENTICATION_AUTHENTICATION_HPP__

// The authentication exchange messages (package mesos.internal).
#include <mesos/authentication/authentication.pb.h>

#endif // __MESOS_AUTHENTICATION_AUTHENTICATION_HPP__
