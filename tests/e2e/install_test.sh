#!/usr/bin/env bash
# The installed package: `cmake --install` into a fresh prefix, then the
# modules are loaded by the installed host from the installed files alone.
# The libraries and programs name no path of the build folder; the example
# modules files, with their library path set to the prefix, load all eight
# modules; and a master host started from the master's example creates its
# modules and authenticates and authorizes a request against the installed
# development IAM service.
# Usage: install_test.sh <tools dir> <modules library>
set -euo pipefail

build=$(cd "$(dirname "$1")" && pwd)
source "$(dirname "$0")/lib.sh"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
bin="$prefix/bin"
examples="$prefix/share/ovra_security/examples"

check "the library carries its SOVERSION" "libovra_security.so.0" \
  "$(readelf -d "$prefix/lib/libovra_security.so" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')"

build_paths=0
for file in "$prefix"/lib/*.so* "$bin"/*; do
  if readelf -d "$file" 2>/dev/null | grep -E 'RPATH|RUNPATH' | grep -qF "$build"; then
    echo "$file names the build folder"
    build_paths=$((build_paths + 1))
  fi
done
check "no installed file names the build folder" 0 "$build_paths"
# The stand-in's libmesos_platform.so, or the libmesos.so built from Mesos's
# source.
platform=$(ldd "$bin/ovra_host" | sed -n 's/.*libmesos[_a-z]*\.so[.0-9]* => \([^ ]*\) .*/\1/p' | head -n 1)
check "the host finds the platform library in the prefix" "$prefix/lib" \
  "$(dirname "$(realpath "${platform:-/}")")"

for role in master agent; do
  sed "s|/usr/lib/libovra_security.so|$prefix/lib/libovra_security.so|" \
    "$examples/$role-modules.json" > "$work/$role.json"
done

described() {
  env -u LD_LIBRARY_PATH "$bin/ovra_host" --modules="file://$work/$1.json" \
    --describe | grep -c "^  library: *$prefix/lib/libovra_security.so$"
}
check "the master's example loads its 3 modules" 3 "$(described master)"
check "the agent's example loads its 7 modules" 7 "$(described agent)"
check "together they load all 8" 8 "$(cat "$work/master.json" "$work/agent.json" |
  grep -o '"com_corvanta_ovra_[A-Za-z_]*"' | sort -u | wc -l)"

# A master host from the installed files, against the installed IAM service
# at the example's address, 127.0.0.1:8101 (where the classic authenticator
# fetches its key).
"$bin/ovra_iam_tool" keypair > "$work/iam.json"
"$bin/ovra_dev_iam" --config="$work/iam.json" --port=8101 \
  --users="$examples/iam-users.json" > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
announced "$work/iam.out" > /dev/null

env -u LD_LIBRARY_PATH "$bin/ovra_host" --modules="file://$work/master.json" \
  --role=master > "$work/host.out" 2> "$work/host.log" &
pids+=($!)
host="127.0.0.1:$(announced "$work/host.out")"

alice=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=alice)
bob=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=bob)
status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
check "an allowed request passes the installed modules" 200 \
  "$(status -H "Authorization: token=$alice" "http://$host/master/state")"
check "a request without a token is refused" 401 \
  "$(status "http://$host/master/state")"
check "a request without the permission is denied" 403 \
  "$(status -H "Authorization: token=$bob" "http://$host/master/state")"

exit "$failures"
