#!/usr/bin/env bash
# End to end through the host: the development IAM service and ovra_host
# with the HTTP authenticator module loaded, queried over real HTTP by curl.
# Usage: host_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {
  local name=$1 expected=$2 actual=$3
  if [ "$expected" = "$actual" ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name: expected '$expected', got '$actual'"
    failures=$((failures + 1))
  fi
}

cat > "$work/modules.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"}]}]}]}
JSON

"$bin/ovra_iam_tool" keypair > "$work/iam.json"
"$bin/ovra_iam_tool" keypair > "$work/other.json"

"$bin/ovra_dev_iam" --config="$work/iam.json" --port=0 \
  > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
iam_port=$(bash "$(dirname "$0")/../../scripts/announced-port.sh" "$work/iam.out")

OVRA_IAM="http://127.0.0.1:$iam_port/" \
  "$bin/ovra_host" --modules="file://$work/modules.json" --role=agent \
  > "$work/host.out" 2> "$work/host.log" &
pids+=($!)
host=127.0.0.1:$(bash "$(dirname "$0")/../../scripts/announced-port.sh" "$work/host.out")

valid=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=alice)
forged=$("$bin/ovra_iam_tool" token --config="$work/other.json" --uid=alice)

status() { curl -s -o "$work/body" -D "$work/headers" -w '%{http_code}' "$@"; }

check "valid token is accepted" 200 \
  "$(status -H "Authorization: token=$valid" "http://$host/agent/state")"
check "principal is the token's uid" '"principal":"alice"' \
  "$(grep -o '"principal":"[a-z]*"' "$work/body")"

check "missing token is refused" 401 "$(status "http://$host/agent/state")"
check "challenge is acsjwt" "WWW-Authenticate: acsjwt" \
  "$(grep -i '^WWW-Authenticate' "$work/headers" | tr -d '\r')"

check "token signed by another key is refused" 401 \
  "$(status -H "Authorization: token=$forged" "http://$host/agent/state")"

check "bearer scheme is refused" 401 \
  "$(status -H "Authorization: Bearer $valid" "http://$host/agent/state")"

check "a long garbage token is refused" 401 \
  "$(status -H "Authorization: token=$(head -c 6000 /dev/zero | tr '\0' 'a')" \
     "http://$host/agent/state")"

# Past the server's header limit the request never reaches the module.
check "an oversized header is a bad request" 400 \
  "$(status -H "Authorization: token=$(head -c 60000 /dev/zero | tr '\0' 'a')" \
     "http://$host/agent/state")"

check "the host keeps serving" 200 \
  "$(status -H "Authorization: token=$valid" "http://$host/agent/state")"

# The audit records name the agent, and one was written per decision.
check "audit records of the agent" 6 \
  "$(grep -c 'type=audit.*authorizer="mesos-agent"' "$work/host.log" || true)"

if [ "$failures" -gt 0 ]; then
  echo "host log:"; cat "$work/host.log"
  exit 1
fi
