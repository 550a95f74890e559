// The classic RPC tests serve the development IAM service on this
// process's own server, which must listen where the authenticator fetches
// its key: 127.0.0.1:8101. Set before libprocess starts, at load time.

#include <stdlib.h>

namespace {

const bool portSet = ::setenv("LIBPROCESS_PORT", "8101", 0) == 0;

} // namespace {
