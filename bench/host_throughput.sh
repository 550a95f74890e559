#!/usr/bin/env bash
# Authenticated requests per second through ovra_host, on each platform in
# one run: for each build folder given (by default build/ for the stand-in
# and build-real/ for the real Mesos 1.2.0 platform, where they exist), a
# development IAM service and an agent host with the HTTP authenticator
# (its key cache on, so that the request path is measured, not the key
# fetch), loaded by wrk with one thread and 8 connections for 10 seconds.
# As a baseline, the same host's unauthenticated /health endpoint.
#
#   bench/host_throughput.sh [build folder...]     (needs wrk)
set -euo pipefail
cd "$(dirname "$0")/.."

builds=("$@")
if [ "${#builds[@]}" -eq 0 ]; then
  for build in build build-real; do
    [ -x "$build/tools/ovra_host" ] && builds+=("$build")
  done
fi

# The work folder, the processes started there (gone at exit) and
# `announced`, as the end-to-end scripts have them.
source tests/e2e/lib.sh

# Requests per second of wrk against the URL, with the extra arguments.
rate() {
  wrk -t1 -c8 -d10s "$@" | awk '/Requests\/sec/ {print $2}'
}

printf '%-12s %22s %22s\n' "build" "authenticated (req/s)" "/health (req/s)"
for build in "${builds[@]}"; do
  bin=$build/tools
  "$bin/ovra_iam_tool" keypair > "$work/iam.json"
  "$bin/ovra_dev_iam" --config="$work/iam.json" --port=0 \
    > "$work/iam.out" 2> "$work/iam.log" &
  pids+=($!)
  iam_port=$(announced "$work/iam.out")

  cat > "$work/host.json" <<JSON
{"libraries": [{"file": "$build/libovra_security.so", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"},
                  {"key": "audit_log", "value": "false"},
                  {"key": "jwks_cache_lifetime", "value": "10mins"}]}]}]}
JSON
  OVRA_IAM="http://127.0.0.1:$iam_port/" GLOG_minloglevel=1 \
    "$bin/ovra_host" --modules="file://$work/host.json" --role=agent \
    > "$work/host.out" 2> "$work/host.log" &
  pids+=($!)
  host="127.0.0.1:$(announced "$work/host.out")"
  token=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=alice)

  # The first request fetches the key; the measured ones use the cache.
  curl -s -o /dev/null -H "Authorization: token=$token" "http://$host/agent/state"
  authenticated=$(rate -H "Authorization: token=$token" "http://$host/agent/state")
  health=$(rate "http://$host/agent/health")
  printf '%-12s %22s %22s\n' "$build" "$authenticated" "$health"

  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
done
