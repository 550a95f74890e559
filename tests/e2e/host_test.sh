#!/usr/bin/env bash
# End to end through the host: the development IAM service and ovra_host,
# queried over real HTTP by curl. An agent host loads the HTTP authenticator
# alone; a master host loads it with the authorizer, which decides from the
# permissions of examples/iam-users.json.
# Usage: host_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"

cat > "$work/host.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"}]}]}]}
JSON

"$bin/ovra_iam_tool" keypair > "$work/iam.json"
"$bin/ovra_iam_tool" keypair > "$work/other.json"

"$bin/ovra_dev_iam" --config="$work/iam.json" --port=0 \
  --users="$(dirname "$0")/../../examples/iam-users.json" \
  > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
iam_port=$(announced "$work/iam.out")

# Starts a host with the modules of $work/<name>.json in the given role;
# its output goes to $work/<name>.out and $work/<name>.log.
start_host() {
  OVRA_IAM="http://127.0.0.1:$iam_port/" \
    "$bin/ovra_host" --modules="file://$work/$1.json" --role="$2" \
    > "$work/$1.out" 2> "$work/$1.log" &
  pids+=($!)
}
address() {
  echo "127.0.0.1:$(announced "$work/$1.out")"
}

start_host host agent
host=$(address host)

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

# Heads of up to 80 KiB reach the module, which refuses a token beyond
# 16 KiB unread; a payload of 50,000 '[' (66 KiB) would overflow the JSON
# parser's stack. Past 80 KiB the server closes the connection unanswered.
check "a 60000-byte token is refused" 401 \
  "$(status -H "Authorization: token=$(head -c 60000 /dev/zero | tr '\0' 'a')" \
     "http://$host/agent/state")"
header=$(printf '{"alg":"RS256","typ":"JWT"}' | base64 -w0 | tr '+/' '-_' | tr -d '=')
payload=$(head -c 50000 /dev/zero | tr '\0' '[' | base64 -w0 | tr '+/' '-_' | tr -d '=')
check "a token nesting 50000 arrays is refused" 401 \
  "$(status -H "Authorization: token=$header.$payload.c2ln" "http://$host/agent/state")"
check "a head beyond 80 KiB is closed unanswered" 000 \
  "$(status -H "Authorization: token=$(head -c 90000 /dev/zero | tr '\0' 'a')" \
     "http://$host/agent/state" || true)"

check "the host keeps serving" 200 \
  "$(status -H "Authorization: token=$valid" "http://$host/agent/state")"

# The agent launches a command task in a sandbox of its own, with nothing
# of its own environment but what Mesos gives an executor.
launch() {
  "$bin/ovra_host" --modules="file://$work/host.json" --role=agent \
    --work_dir="$work/agent" --launch="$1" 2> "$work/launch.log"
}
task='{"task": {"name": "t", "task_id": {"value": "t1"}, "slave_id": {"value": "a1"},
  "command": {"value": "echo \"$MESOS_EXECUTOR_ID:$MINE:${HOME:-none}\"",
              "environment": {"variables": [{"name": "MINE", "value": "x"}]}}}}'
check "a command task finishes" '"state":"TASK_FINISHED"' \
  "$(launch "$task" | grep -o '"state":"[A-Z_]*"')"
check "it sees its executor id and its own variables, not the agent's" \
  '"stdout":"t1:x:none\n"' "$(launch "$task" | grep -o '"stdout":"[^"]*"')"
check "a failing command fails the task" '"state":"TASK_FAILED"' \
  "$(launch '{"task": {"name": "t", "task_id": {"value": "t2"}, "slave_id": {"value": "a1"},
              "command": {"value": "exit 4"}}}' | grep -o '"state":"[A-Z_]*"' || true)"
check "a malformed launch request is refused" 1 \
  "$(launch '{"task": []}' > /dev/null 2>&1; echo $?)"

# The audit records name the agent, and one was written per decision.
check "audit records of the agent" 8 \
  "$(audits "$work/host.log" -- authorizer=mesos-agent)"

# The master host, with the authorizer.
cat > "$work/master.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "master"}]},
  {"name": "com_corvanta_ovra_Authorizer",
   "parameters": [{"key": "host", "value": "master"}]}]}]}
JSON

start_host master master
master=$(address master)

bob=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=bob)
carol=$("$bin/ovra_iam_tool" token --config="$work/iam.json" --uid=carol)

check "alice may read the master's state" 200 \
  "$(status -H "Authorization: token=$valid" "http://$master/master/state")"
check "bob may not" 403 \
  "$(status -H "Authorization: token=$bob" "http://$master/master/state")"
check "bob may read the master's flags" 200 \
  "$(status -H "Authorization: token=$bob" "http://$master/master/flags")"
check "a principal the IAM service does not know is an error" 500 \
  "$(status -H "Authorization: token=$carol" "http://$master/master/state")"

question='{"subject": {"value": "bob"}, "action": "RUN_TASK",
  "object": {"framework_info": {"user": "nobody", "name": "web"},
             "task_info": {"name": "web", "task_id": {"value": "web-1"},
                           "slave_id": {"value": "a1"},
                           "labels": {"labels": [{"key": "OVRA_SPACE",
                                                  "value": "/prod/web"}]}}}}'

check "alice may ask a question" 200 \
  "$(status -H "Authorization: token=$valid" -d "$question" \
     "http://$master/master/authorize")"
check "bob may not run a task in /prod/web" '"decision":"deny"' \
  "$(grep -o '"decision":"[a-z]*"' "$work/body")"
# Keys are written in order: action, granted_by, resource_id.
check "the answer names both resource ids, the first granted" \
  '{"action":"create","granted_by":{"actions":"create","resource_id":"ovra:mesos:master:task:user:nobody"},"resource_id":"ovra:mesos:master:task:user:nobody"},{"action":"create","resource_id":"ovra:mesos:master:task:app_id:\/prod\/web"}' \
  "$(grep -o '"required":\[.*\]' "$work/body" | sed 's/^"required":\[//; s/\]$//')"

check "bob may not ask" 403 \
  "$(status -H "Authorization: token=$bob" -d "$question" \
     "http://$master/master/authorize")"
check "a question that is not JSON is a bad request" 400 \
  "$(status -H "Authorization: token=$valid" -d "{" \
     "http://$master/master/authorize")"
check "a question is POSTed" 405 \
  "$(status -H "Authorization: token=$valid" "http://$master/master/authorize")"

# Hostile questions: nested far past the JSON parser's bound, and a large
# body sent without a token, which is refused before it is read.
{ printf '{"a":%.0s' $(seq 50000); printf 1; printf '}%.0s' $(seq 50000); } \
  > "$work/deep.json"
check "a question nested 50000 deep is a bad request" 400 \
  "$(status -H "Authorization: token=$valid" --data-binary "@$work/deep.json" \
     "http://$master/master/authorize")"
check "the answer names the bound" "nests deeper than 100 levels" \
  "$(grep -o 'nests deeper than 100 levels' "$work/body")"
head -c $((60 * 1024 * 1024)) /dev/zero > "$work/large"
check "a large body without a token is refused" 401 \
  "$(status --data-binary "@$work/large" \
     "http://$master/master/authorize" || true)"
check "the master keeps serving" 200 "$(status "http://$master/master/health")"

endpoint_audits() {
  audits "$work/master.log" -- action=GET_ENDPOINT_WITH_PATH "result=$1"
}
check "audit records of the endpoint allows" 5 "$(endpoint_audits allow)"
check "audit records of the endpoint denies" 2 "$(endpoint_audits deny)"
check "answering a question decides nothing" 0 \
  "$(audits "$work/master.log" -- action=RUN_TASK)"

if [ "$failures" -gt 0 ]; then
  echo "host log:"; cat "$work/host.log"
  echo "master log:"; cat "$work/master.log"
  exit 1
fi
