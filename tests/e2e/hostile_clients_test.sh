#!/usr/bin/env bash
# The stand-in's server against hostile clients: with every descriptor in use
# and connections waiting, accepting neither spins nor floods the log;
# once they are gone, the host serves again.
# Usage: hostile_clients_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"

cat > "$work/host.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"}]}]}]}
JSON

# UBSan's runtime needs a descriptor of its own to check an object's
# dynamic type; with none left it reports the type as wrong and stops the
# host. The ASan+UBSan build cannot run a host at its descriptor limit.
if [ "${OVRA_SANITIZE:-}" = address ]; then
  echo "skipped in the AddressSanitizer+UBSan build: UBSan needs descriptors"
  exit 0
fi

# A host that may hold 64 descriptors, a few dozen of them its own.
prlimit --nofile=64:64 "$bin/ovra_host" --modules="file://$work/host.json" \
  --role=agent > "$work/host.out" 2> "$work/host.log" &
host_pid=$!
pids+=($host_pid)
port=$(announced "$work/host.out")

# 100 connections held for 2 seconds: the host's CPU ticks meanwhile.
log_before=$(wc -c < "$work/host.log")
ticks=$(python3 - "$port" "$host_pid" <<'PY'
import socket, sys, time
port, pid = int(sys.argv[1]), sys.argv[2]
def cpu():
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])
held = [socket.create_connection(("127.0.0.1", port)) for _ in range(100)]
time.sleep(0.2)
before = cpu()
time.sleep(2)
print(cpu() - before)
for s in held:
    s.close()
PY
)
log_growth=$(($(wc -c < "$work/host.log") - log_before))
echo "at the descriptor limit for 2 seconds: $ticks CPU ticks, $log_growth bytes of log"

check "at the descriptor limit the host does not spin" true \
  "$([ "$ticks" -le 40 ] && echo true || echo false)"
check "at the descriptor limit the log grows by a line a second at most" true \
  "$([ "$(grep -c 'Failed to accept a connection' "$work/host.log")" -le 4 ] && echo true || echo false)"
check "the host serves once the connections are gone" 200 \
  "$(curl -s -o /dev/null -w '%{http_code}' --retry 5 --retry-connrefused "http://127.0.0.1:$port/agent/health")"

if [ "$failures" -gt 0 ]; then
  echo "host log:"; tail -50 "$work/host.log"
  exit 1
fi
