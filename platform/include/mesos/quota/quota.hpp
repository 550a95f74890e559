#ifndef __MESOS_QUOTA_PROTO_HPP__
#define __MESOS_QUOTA_PROTO_HPP__

#include <mesos/quota/quota.pb.h>

// A role's quota as the master keeps it.
struct Quota
{
  mesos::quota::QuotaInfo info;
};

#endif // __MESOS_QUOTA_PROTO_HPP__
