/*
 * libprocess 1.2.0 was written against libevent 2.0, whose OpenSSL
 * bufferevents start with reading and writing enabled. libevent 2.1 (the
 * one Debian 12 has) enables only writing, and libprocess never enables
 * reading itself: an accepted or connected TLS socket then never delivers
 * a byte. libmesos is linked with --wrap=bufferevent_openssl_socket_new,
 * so that libprocess's calls come here and get 2.0's default back.
 */

#include <event2/bufferevent.h>
#include <event2/bufferevent_ssl.h>
#include <event2/event.h>

struct bufferevent* __real_bufferevent_openssl_socket_new(
    struct event_base* base,
    evutil_socket_t fd,
    struct ssl_st* ssl,
    enum bufferevent_ssl_state state,
    int options);

struct bufferevent* __wrap_bufferevent_openssl_socket_new(
    struct event_base* base,
    evutil_socket_t fd,
    struct ssl_st* ssl,
    enum bufferevent_ssl_state state,
    int options)
{
  struct bufferevent* bev =
    __real_bufferevent_openssl_socket_new(base, fd, ssl, state, options);
  if (bev != NULL) {
    bufferevent_enable(bev, EV_READ | EV_WRITE);
  }
  return bev;
}
