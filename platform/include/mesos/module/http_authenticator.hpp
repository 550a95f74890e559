#ifndef __MESOS_MODULE_HTTP_AUTHENTICATOR_HPP__
#define __MESOS_MODULE_HTTP_AUTHENTICATOR_HPP__

// The descriptor of a module of kind "HttpAuthenticator".

#include <mesos/module.hpp>

#include <mesos/module/factory_module.hpp>

#include <process/authenticator.hpp>

namespace mesos {
namespace modules {

template <>
inline const char* kind<process::http::authentication::Authenticator>()
{
  return "HttpAuthenticator";
}


template <>
struct Module<process::http::authentication::Authenticator> : FactoryModule<process::http::authentication::Authenticator>
{
  using FactoryModule<process::http::authentication::Authenticator>::FactoryModule;
};

} // namespace modules {
} // namespace mesos {

#endif // __MESOS_MODULE_HTTP_AUTHENTICATOR_HPP__
