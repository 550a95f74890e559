#!/usr/bin/env bash
# The HTTP authenticator of a host against hostile IAM services: one that
# answers its key set request with a body that never ends, at full speed,
# and one that never answers. Each request fails with the module's
# message, the host's memory grows by no more than the modules' bound on
# an answer and a few MiB, and no connection to the service stays open.
# Usage: hostile_services_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"

"$bin/ovra_iam_tool" keypair > "$work/iam.json"
token=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=alice)

status() { curl -s -o "$work/body" -w '%{http_code}' "$@"; }

# The host's connections to `port` that are still established.
established() {
  python3 - "$1" <<'PY'
import sys
port = int(sys.argv[1])
count = 0
for line in open("/proc/net/tcp").read().splitlines()[1:]:
    fields = line.split()
    remote_port = int(fields[2].split(":")[1], 16)
    if remote_port == port and fields[3] == "01":
        count += 1
print(count)
PY
}

# `established` once it has dropped to 0, within 2 seconds.
settled_connections() {
  for _ in $(seq 40); do
    [ "$(established "$1")" = 0 ] && break
    sleep 0.05
  done
  established "$1"
}

kib() { grep "^$2:" "/proc/$1/status" | awk '{print $2}'; }

# The silent service fails a request at the module's time-out; the endless
# one at the bound on the body, which a sanitizer build reaches in seconds
# rather than a fraction of one, so its time-out is long enough for that.
for mode in endless silent; do
  case $mode in
    endless) timeout=30secs ;;
    silent) timeout=2secs ;;
  esac
  cat > "$work/host.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"},
                  {"key": "network_timeout", "value": "$timeout"}]}]}]}
JSON

  python3 "$(dirname "$0")/hostile_iam.py" "$mode" > "$work/$mode.out" &
  pids+=($!)
  port=$(announced "$work/$mode.out")

  OVRA_IAM="http://127.0.0.1:$port/" \
    "$bin/ovra_host" --modules="file://$work/host.json" --role=agent \
    > "$work/host-$mode.out" 2> "$work/host-$mode.log" &
  host_pid=$!
  pids+=($host_pid)
  host="127.0.0.1:$(announced "$work/host-$mode.out")"

  check "$mode: the host serves" 200 "$(status "http://$host/agent/health")"
  before=$(kib "$host_pid" VmRSS)

  check "$mode: the request fails" 500 \
    "$(status -H "Authorization: token=$token" "http://$host/agent/state")"
  case $mode in
    endless) expected="The answer's body exceeds the limit of 33554432 bytes" ;;
    silent) expected="Request timed out after 2secs" ;;
  esac
  check "$mode: with the module's message" "$expected" \
    "$(grep -o "$expected" "$work/body" || true)"
  check "$mode: no connection to the service is left" 0 \
    "$(settled_connections "$port")"

  growth=$(( $(kib "$host_pid" VmHWM) - before ))
  echo "$mode: the host's peak memory grew by ${growth} KiB"
  # A sanitizer's shadow memory and quarantine are not the program's.
  if [ -z "${OVRA_SANITIZE:-}" ]; then
    check "$mode: within the bound and 8 MiB" yes \
      "$([ "$growth" -lt $(( (32 + 8) * 1024 )) ] && echo yes || echo no)"
  fi

  check "$mode: the host keeps serving" 200 "$(status "http://$host/agent/health")"
  kill "$host_pid"
done

if [ "$failures" -gt 0 ]; then
  for mode in endless silent; do echo "host log ($mode):"; cat "$work/host-$mode.log"; done
  exit 1
fi
