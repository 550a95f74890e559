#!/usr/bin/env bash
# End to end: an agent host that runs strict SSL, with a CA and certificate
# made here, launches tasks whose commands connect back to it over TLS with
# curl, using only the files and settings that the SSL executor isolator
# (Mesos containerizer) or hook (Docker containerizer) gave them. As root
# the tasks run as user nobody in a sandbox that nobody owns, and Docker
# tasks see their sandbox at /mnt/mesos/sandbox; without root those checks
# are skipped, and say so.
# Usage: ssl_test.sh <tools dir> <modules library>
set -euo pipefail

bin=$1
library=$2
source "$(dirname "$0")/lib.sh"

root=false
[ "$(id -u)" = 0 ] && root=true
# Like an agent's work directory, open to the users that tasks run as.
chmod 755 "$work"

# A CA, and the agent's key and certificate for localhost and 127.0.0.1.
certs=$work/certs
bash "$(dirname "$0")/../../scripts/agent-certificate.sh" "$certs"

files='{"key": "ca_file", "value": "'$certs/ca.crt'"},
       {"key": "cert_file", "value": "'$certs/agent.crt'"},
       {"key": "key_file", "value": "'$certs/agent.key'"}'
cat > "$work/ssl.json" <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_SSLExecutorIsolator", "parameters": [$files]},
  {"name": "com_corvanta_ovra_SSLExecutorHook", "parameters": [$files]}]}]}
JSON
cat > "$work/none.json" <<JSON
{"libraries": [{"file": "$library", "modules": []}]}
JSON

strict=(LIBPROCESS_SSL_ENABLED=true LIBPROCESS_SSL_CERT_FILE="$certs/agent.crt"
        LIBPROCESS_SSL_KEY_FILE="$certs/agent.key" LIBPROCESS_SSL_CA_FILE="$certs/ca.crt"
        LIBPROCESS_SSL_VERIFY_CERT=true LIBPROCESS_SSL_REQUIRE_CERT=true)

# launch <modules> <containerizer> <command> [agent environment...]: the
# outcome's state, then the command's output. With the Mesos containerizer
# it is a command task's; with Docker, a custom executor's, which also sees
# the agent's endpoint.
launch() {
  local modules=$1 containerizer=$2 command=$3
  shift 3
  local user=""
  $root && user=', "user": "nobody"'
  local run='"command": {"value": "'"$command"'"'"$user"'}'
  local request='"task": {"name": "t", "task_id": {"value": "t1"},
                          "slave_id": {"value": "a1"}, '"$run"'}'
  [ "$containerizer" = docker ] && request='"executor": {"executor_id": {"value": "e1"}, '"$run"'}'
  local outcome
  outcome=$(env "$@" "$bin/ovra_host" --modules="file://$work/$modules.json" \
    --role=agent --work_dir="$work/agent" \
    --launch='{"containerizer": "'$containerizer'", '"$request"'}' \
    2>> "$work/launch.log" || true)
  echo "$outcome" | grep -o '"state":"[A-Z_]*"' | cut -d'"' -f4
  local sandbox
  sandbox=$(echo "$outcome" | grep -o '"sandbox":"[^"]*"' | cut -d'"' -f4 | sed 's|\\/|/|g')
  cat "$sandbox/stdout" 2> /dev/null || true
  cat "$sandbox/stderr" >> "$work/launch.log" 2> /dev/null || true
}

connect='curl -sS --cacert \"$LIBPROCESS_SSL_CA_FILE\" --cert \"$LIBPROCESS_SSL_CERT_FILE\" --key \"$LIBPROCESS_SSL_KEY_FILE\" https://$MESOS_AGENT_ENDPOINT/agent/health'
listing="stat -c '%U:%G %a %n' .ssl .ssl/ca.crt .ssl/agent.crt .ssl/agent.key"
owner=$(id -un):$(id -gn)
$root && owner=nobody:nogroup

out=$(launch ssl mesos "$connect; echo; $listing; echo \$LIBPROCESS_SSL_CA_FILE" "${strict[@]}")
check "strict agent, Mesos containerizer: the task finishes" TASK_FINISHED "$(echo "$out" | head -n 1)"
check "it reached the agent over TLS with the copied files" '{"healthy":true}' "$(echo "$out" | sed -n 2p)"
check "the sandbox's .ssl folder belongs to the sandbox's owner" \
  "$owner 755 .ssl|$owner 644 .ssl/ca.crt|$owner 644 .ssl/agent.crt|$owner 600 .ssl/agent.key" \
  "$(echo "$out" | sed -n 3,6p | paste -sd'|')"
check "the variables point under the sandbox's host path" "$work/agent/containers/" \
  "$(echo "$out" | sed -n 7p | grep -o "^$work/agent/containers/")"

out=$(launch ssl mesos 'curl -sS --cacert \"$LIBPROCESS_SSL_CA_FILE\" https://$MESOS_AGENT_ENDPOINT/agent/health' "${strict[@]}")
check "without the certificate and key the agent refuses the task" TASK_FAILED "$(echo "$out" | head -n 1)"

out=$(launch none mesos "$connect" "${strict[@]}")
check "without the SSL modules the task has no files and fails" TASK_FAILED "$(echo "$out" | head -n 1)"

if $root; then
  out=$(launch ssl docker "$connect; echo; pwd; echo \$LIBPROCESS_SSL_KEY_FILE; $listing" "${strict[@]}")
  check "strict agent, Docker containerizer: the task finishes" TASK_FINISHED "$(echo "$out" | head -n 1)"
  check "it reached the agent over TLS" '{"healthy":true}' "$(echo "$out" | sed -n 2p)"
  check "the task sees the files under the mapped sandbox" \
    "/mnt/mesos/sandbox|/mnt/mesos/sandbox/.ssl/agent.key|nobody:nogroup 755 .ssl" \
    "$(echo "$out" | sed -n 3,5p | paste -sd'|')"
else
  echo "skipped: the Docker launch needs root for its mount namespace"
fi

out=$(launch ssl mesos 'ls -A; env | grep -c ^LIBPROCESS_SSL_ || true')
check "an agent with SSL off leaves the sandbox untouched" "TASK_FINISHED|stderr|stdout|0" \
  "$(echo "$out" | paste -sd'|')"

[ "$failures" = 0 ] || { echo "$failures check(s) failed"; cat "$work/launch.log" | tail -n 20; exit 1; }
echo "all SSL end-to-end checks passed"
