#!/usr/bin/env bash
# Classic authentication end to end between OS processes: a master host
# with the classic authenticator, and agent hosts with the classic
# authenticatee, each its own process, against the development IAM service
# on 127.0.0.1:8101 (where the authenticator fetches its key), and a second
# one on 127.0.0.1:8102.
# Usage: classic_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"

"$bin/ovra_iam_tool" keypair > "$work/iam.json"
"$bin/ovra_iam_tool" keypair > "$work/other.json"
"$bin/ovra_iam_tool" service-account --uid=agent-1 \
  --login_endpoint=http://127.0.0.1:8101/acs/api/v1/auth/login \
  --credential_file="$work/agent-1.json" --config="$work/iam.json" > /dev/null
# A stranger, known to another IAM service with a key of its own.
"$bin/ovra_iam_tool" service-account --uid=stranger \
  --login_endpoint=http://127.0.0.1:8102/acs/api/v1/auth/login \
  --credential_file="$work/stranger.json" --config="$work/other.json" > /dev/null

"$bin/ovra_dev_iam" --config="$work/iam.json" --port=8101 \
  > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
announced "$work/iam.out" > /dev/null
"$bin/ovra_dev_iam" --config="$work/other.json" --port=8102 \
  > "$work/other.out" 2> "$work/other.log" &
pids+=($!)
announced "$work/other.out" > /dev/null

cat > "$work/master.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "master"}]},
  {"name": "com_corvanta_ovra_ClassicRPCAuthenticator", "parameters": []}]}]}
JSON
agent_modules() {
  cat <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"}]},
  {"name": "com_corvanta_ovra_ClassicRPCAuthenticatee",
   "parameters": [{"key": "service_account_credential", "value": "file://$1"}]}]}]}
JSON
}
agent_modules "$work/agent-1.json" > "$work/agent.json"
agent_modules "$work/stranger.json" > "$work/stranger-agent.json"

OVRA_IAM="http://127.0.0.1:8101/" \
  "$bin/ovra_host" --modules="file://$work/master.json" --role=master \
  > "$work/master.out" 2> "$work/master.log" &
master_pid=$!
pids+=($master_pid)
master=127.0.0.1:$(announced "$work/master.out")

agent() {
  "$bin/ovra_host" --modules="file://$work/$1.json" --role=agent \
    --master="master@$master" --principal="$2" --authentication_attempts=1 \
    > "$work/$1.result" 2> "$work/$1.log"
}

code=0; agent agent agent-1 || code=$?
check "the agent is authenticated" 0 "$code"
check "the agent says so" "Authenticated with master master@$master as 'agent-1'" \
  "$(cat "$work/agent.result")"

code=0; agent stranger-agent stranger || code=$?
check "the stranger is refused" 1 "$code"
check "the stranger is told" "Master master@$master refused authentication" \
  "$(cat "$work/stranger-agent.result")"

# Raw bytes to the master's socket: garbage, a message with a broken body,
# and a flood of step messages from a process nobody authenticates.
raw() { exec 3<>"/dev/tcp/127.0.0.1/${master#*:}"; cat >&3 || true; exec 3>&-; }
head -c 100000 /dev/urandom | raw || true
printf 'POST /master/mesos.internal.AuthenticateMessage HTTP/1.1\r\nUser-Agent: libprocess/intruder@127.0.0.1:1\r\nContent-Length: 4\r\n\r\n\xff\xff\xff\xff' | raw || true
for _ in $(seq 500); do
  printf 'POST /master/mesos.internal.AuthenticationStepMessage HTTP/1.1\r\nUser-Agent: libprocess/x@127.0.0.1:1\r\nContent-Length: 1\r\n\r\nx'
done | raw || true
check "the master keeps serving" 200 \
  "$(curl -s -o /dev/null -w '%{http_code}' "http://$master/master/health")"

# One client starting over and over: n AuthenticateMessages on one
# connection, for the client slave(9), from a sender nobody answers. The
# running attempt is discarded once, whatever n, so the master's work and
# log grow with n, not with its square.
flood() {
  local message
  message=$(printf 'POST /master/mesos.internal.AuthenticateMessage HTTP/1.1\r\nLibprocess-From: flood@127.0.0.1:1\r\nContent-Length: 22\r\n\r\n\x0a\x14slave(9)@127.0.0.1:1')
  for _ in $(seq "$1"); do printf '%s' "$message"; done | raw || true
  curl -s -o /dev/null "http://$master/master/health"
}
cpu() { awk '{print $14 + $15}' "/proc/$master_pid/stat"; }
discards() { grep -c "Discarding the authentication in progress of slave(9)" "$work/master.log" || true; }
before=$(cpu); flood 250; small=$(($(cpu) - before)); small_lines=$(discards)
before=$(cpu); flood 1500; large=$(($(cpu) - before)); large_lines=$(($(discards) - small_lines))
echo "floods of 250 and 1500 AuthenticateMessages: $small and $large CPU ticks, $small_lines and $large_lines discard lines"
check "a flood's discard lines are a few, then one a second" true \
  "$([ "$large_lines" -le 15 ] && echo true || echo false)"
check "a flood's CPU time grows linearly" true \
  "$([ "$large" -le $((6 * small + 50)) ] && echo true || echo false)"

code=0; agent agent agent-1 || code=$?
check "the agent is authenticated again" 0 "$code"

check "the master logs the agent's principal" 2 \
  "$(grep -c "Successfully authenticated principal 'agent-1' at slave(1)@" "$work/master.log" || true)"
check "audit records of the allows" 2 \
  "$(audits "$work/master.log" -- "action=Classic Authentication" result=allow)"
check "audit record of the refusal" 1 \
  "$(audits "$work/master.log" -- "action=Classic Authentication" result=deny)"

if [ "$failures" -gt 0 ]; then
  for log in master agent stranger-agent; do echo "$log log:"; cat "$work/$log.log"; done
  exit 1
fi
