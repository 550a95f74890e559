#!/usr/bin/env bash
# The module sources may include, of Mesos, stout and libprocess, only the
# headers that an installed Mesos 1.2.0 has, so that they build against it
# as they build against the stand-in. mesos-1.2.0-headers.txt lists those
# headers, read from Mesos 1.2.0's source tree: include/ (with the .pb.h
# made from its .proto files, and the generated mesos/version.hpp),
# 3rdparty/stout/include/ and 3rdparty/libprocess/include/, less the
# container image headers of mesos/appc/, mesos/docker/ and mesos/oci/,
# which no module uses.
#
#   check_headers.sh <source folder>
set -euo pipefail
root="${1:?usage: check_headers.sh <source folder>}"
known="$(dirname "$0")/mesos-1.2.0-headers.txt"

status=0
while IFS=: read -r file line header; do
  header="${header#*<}"
  header="${header%%>*}"
  if ! grep -qxF "$header" "$known"; then
    echo "$file:$line: <$header> is not a header of Mesos 1.2.0"
    status=1
  fi
done < <(cd "$root" && grep -rnE '^\s*#\s*include\s*<(mesos|stout|process)/' \
           common ovra_auth ovra_classic_rpc_authn secrets ssl_exec)

if [ "$status" -eq 0 ]; then
  echo "Every Mesos, stout and libprocess header of the module sources is in Mesos 1.2.0"
fi
exit "$status"
