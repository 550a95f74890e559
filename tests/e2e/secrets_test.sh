#!/usr/bin/env bash
# End to end through the host as an agent: the development IAM service and
# secret store as their own processes, and ovra_host launching containers
# whose tasks or executors ask for secrets in their labels, through the
# secrets isolator (Mesos containerizer) and the secrets hook (Docker
# containerizer).
# Usage: secrets_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"
scripts="$(dirname "$0")/../../scripts"

dburl='postgres://app:Secret-4711@db:5432/app'
private='Private-0815'
# As the host's JSON status writes it.
dburl_json=${dburl//\//\\/}

# The service account's login endpoint is known once the IAM service has
# its port; the account's key goes into the service's configuration first.
"$bin/ovra_iam_tool" keypair > "$work/iam.json"
"$bin/ovra_iam_tool" service-account --uid=agent-1 \
  --login_endpoint=http://127.0.0.1:IAM_PORT/acs/api/v1/auth/login \
  --credential_file="$work/agent-1.json" --config="$work/iam.json" > /dev/null
"$bin/ovra_dev_iam" --config="$work/iam.json" --port=0 \
  > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
iam_port=$(announced "$work/iam.out")
sed -i "s/IAM_PORT/$iam_port/" "$work/agent-1.json"

cat > "$work/secrets.json" <<JSON
{"team1/app/dburl": "$dburl",
 "team1/app/private": {"value": "$private", "readers": ["someone-else"]}}
JSON
"$bin/ovra_dev_secrets" --secrets="$work/secrets.json" \
  --iam="http://127.0.0.1:$iam_port" \
  > "$work/store.out" 2> "$work/store.log" &
store_pid=$!
pids+=($store_pid)
store="http://127.0.0.1:$(announced "$work/store.out")/secrets/v1"

bash "$scripts/secrets-modules.sh" "$library" "$store" "$work/agent-1.json" 2secs \
  > "$work/agent.json"

# Every log level on, so that the no-secret check sees verbose lines too.
launch() {
  GLOG_v=3 "$bin/ovra_host" --modules="file://$work/agent.json" --role=agent \
    --work_dir="$work/agent" --launch="$1" 2>> "$work/agent.log" || true
}
field() { grep -o "\"$1\":\"[^\"]*\"" || true; }

labels() {
  echo '"labels": {"labels": [
    {"key": "OVRA_SECRET_SPACE", "value": "team1/app"},
    {"key": "OVRA_SECRETS", "value": "[{\"name\": \"'$1'\", \"type\": \"ENVIRONMENT\", \"environment\": {\"name\": \"db_url\"}}]"}]}'
}
task() {
  echo '"task": {"name": "t", "task_id": {"value": "t1"}, "slave_id": {"value": "a1"},
    "command": {"value": "echo \"[$DB_URL]\""}, '"$(labels "$1")"'}'
}
executor='"executor": {"executor_id": {"value": "e1"},
  "command": {"value": "echo \"[$DB_URL]\""}, '"$(labels team1/app/dburl)"'}'

for containerizer in mesos docker; do
  check "$containerizer: the task gets its secret" "\"stdout\":\"[$dburl_json]\\n\"" \
    "$(launch '{"containerizer": "'$containerizer'", '"$(task team1/app/dburl)"'}' \
       | field stdout)"
done

check "mesos: an executor alone gets the secrets of its own labels" \
  "\"stdout\":\"[$dburl_json]\\n\"" \
  "$(launch '{"containerizer": "mesos", '"$executor"'}' | field stdout)"
check "docker: an executor alone gets nothing from the hook" \
  '"stdout":"[]\n"' \
  "$(launch '{"containerizer": "docker", '"$executor"'}' | field stdout)"

check "a secret outside the task's space fails the launch" \
  "\"message\":\"Failed to launch container: Failed to extract secrets from label OVRA_SECRETS: Requested secret 'team2\\/db' is not accessible from: team1\\/app\"" \
  "$(launch '{"containerizer": "mesos", '"$(task team2/db)"'}' | field message)"

# The Docker containerizer collects its hooks' answers, so their failures
# carry a second "Collect failed: ", as in Mesos.
check "a secret the account may not read fails the launch" \
  '"message":"Failed to launch container: Collect failed: Collect failed: Secret Store returned status: 403 Forbidden"' \
  "$(launch '{"containerizer": "docker", '"$(task team1/app/private)"'}' | field message)"

# A store that accepts connections but never answers: the launch fails at
# the fetch's time limit. Before that, each module's check of the store at
# load waited its network_timeout too.
kill -STOP "$store_pid"
started=$(date +%s)
check "a store that does not answer fails the launch at network_timeout" \
  '"message":"Failed to launch container: Failed to execute pong: Timed out after 2secs"' \
  "$(launch '{"containerizer": "mesos", '"$(task team1/app/dburl)"'}' | field message)"
elapsed=$(( $(date +%s) - started ))
kill -CONT "$store_pid"
check "within the time limits" yes "$([ "$elapsed" -le 8 ] && echo yes || echo "$elapsed s")"

# The agent wrote one audit record per step, and no secret anywhere.
actions() {
  for action in VALIDATE_SECRETS_REQUEST GET_SIGNED_JWT_FROM_SENTREL \
                FETCH_SECRETS_FROM_STORE FETCH_SECRETS; do
    echo "$action=$(audits "$work/agent.log" -- "action=$action")"
  done | tr '\n' ' '
}
# Three launches fetched, the refused request stopped before any step,
# the 403 and the silent store failed after the login.
check "audit records, one per step" \
  "VALIDATE_SECRETS_REQUEST=5 GET_SIGNED_JWT_FROM_SENTREL=5 FETCH_SECRETS_FROM_STORE=3 FETCH_SECRETS=3 " \
  "$(actions)"
check "the refusals are denies" 3 \
  "$(audits "$work/agent.log" -- result=deny)"
check "no secret in the agent's log" 0 \
  "$(grep -c -e "$dburl" -e "$private" "$work/agent.log" || true)"

exit $((failures > 0))
