#!/usr/bin/env bash
# The main job on a fresh machine: installs the dependencies, builds, lists
# the library's modules as the module loader sees them, then runs the
# development IAM service and the host (a Mesos master for the modules) on
# loopback and walks through what an operator wants to see of the HTTP
# authenticator, the authorizer and classic authentication between a master
# and an agent in two processes. Everything it starts is stopped when it
# ends.
set -euo pipefail
cd "$(dirname "$0")/.."

section() { printf '\n=== %s\n' "$*"; }

# The build walked through: build/ on the stand-in platform by default, or
# build-real/ on the real Mesos 1.2.0 platform built from its source:
#   OVRA_MAIN_JOB_BUILD=build-real bash scripts/main-job.sh
# Only the library and the programs the walk-through runs are built.
build=${OVRA_MAIN_JOB_BUILD:-build}
configure=()
if [ "$build" = build-real ]; then
  configure=(-DOVRA_MESOS_SOURCE="${OVRA_MESOS_SOURCE:-../shared/mesos/mesos-1.2.0-platform-src.tar.gz}")
fi

section "Installing the dependencies"
bash scripts/install-deps.sh
section "Building the library and the programs into $build/"
cmake -G Ninja -S . -B "$build" "${configure[@]}"
cmake --build "$build" -j "$(nproc)" --target \
  ovra_security ovra_host ovra_dev_iam ovra_iam_tool ovra_dev_secrets

bin=$build/tools
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The example modules files, naming the library of the build walked through.
for example in modules master; do
  sed "s|build/libovra_security.so|$build/libovra_security.so|" \
    "examples/$example.json" > "$work/$example.json"
done

# Prints the status line, the challenge if any, and the body of a request.
request() {
  curl -s -D "$work/headers" -o "$work/body" "$@" || true
  head -n 1 "$work/headers" | tr -d '\r'
  grep -i '^WWW-Authenticate' "$work/headers" | tr -d '\r' || true
  cat "$work/body"; echo
}

section "The library's modules, as the module loader verifies them"
$bin/ovra_host --modules=file://$work/modules.json --describe

section "Starting the development IAM service and the host (role master)"
$bin/ovra_iam_tool keypair > "$work/iam.json"
$bin/ovra_iam_tool keypair > "$work/other.json"

# The users and their permissions: alice reads every master endpoint and
# runs tasks in /prod; bob reads the master's flags and runs tasks as
# nobody; guest holds nothing.
# The service account of the agent, known to the IAM service; and one of a
# stranger, known only to another IAM service with a key of its own.
login=http://127.0.0.1:8101/acs/api/v1/auth/login
$bin/ovra_iam_tool service-account --uid=agent-1 --login_endpoint=$login \
  --credential_file="$work/agent-1.json" --config="$work/iam.json" > /dev/null
$bin/ovra_iam_tool service-account --uid=stranger \
  --login_endpoint=http://127.0.0.1:8102/acs/api/v1/auth/login \
  --credential_file="$work/stranger.json" --config="$work/other.json" > /dev/null

# On the port where the classic authenticator looks for its key.
$bin/ovra_dev_iam --config="$work/iam.json" --users=examples/iam-users.json --port=8101 \
  > "$work/iam.out" 2> "$work/iam.log" &
pids+=($!)
iam_port=$(bash scripts/announced-port.sh "$work/iam.out")
echo "IAM service on 127.0.0.1:$iam_port"
$bin/ovra_dev_iam --config="$work/other.json" --port=8102 \
  > "$work/other-iam.out" 2> "$work/other-iam.log" &
pids+=($!)
bash scripts/announced-port.sh "$work/other-iam.out" > /dev/null

# The modules take the IAM service's address from the environment.
OVRA_IAM="http://127.0.0.1:$iam_port/" \
  $bin/ovra_host --modules=file://$work/master.json --role=master \
  > "$work/host.out" 2> "$work/host.log" &
pids+=($!)
host=127.0.0.1:$(bash scripts/announced-port.sh "$work/host.out")
echo "host on $host"

OVRA_IAM="http://127.0.0.1:$iam_port/" OVRA_ANONYMOUS_PRINCIPAL=guest \
  $bin/ovra_host --modules=file://$work/master.json --role=master \
  > "$work/anonymous.out" 2> "$work/anonymous.log" &
pids+=($!)
anonymous=127.0.0.1:$(bash scripts/announced-port.sh "$work/anonymous.out")
echo "host with anonymous principal 'guest' on $anonymous"

valid=$($bin/ovra_iam_tool token --config="$work/iam.json" --uid=alice)
bob=$($bin/ovra_iam_tool token --config="$work/iam.json" --uid=bob)
forged=$($bin/ovra_iam_tool token --config="$work/other.json" --uid=alice)
expiring=$($bin/ovra_iam_tool token --config="$work/iam.json" --uid=alice --lifetime=1secs)

section "A valid token: 200 with the principal"
request -H "Authorization: token=$valid" "http://$host/master/state"

section "No Authorization header: 401 with the challenge"
request "http://$host/master/state"

section "No Authorization header, anonymous principal configured: guest, who may not read the state (403)"
request "http://$anonymous/master/state"

section "A token signed by another key: 401"
request -H "Authorization: token=$forged" "http://$host/master/state"

section "An expired token: 401"
sleep 2
request -H "Authorization: token=$expiring" "http://$host/master/state"

section "Authorized: bob may read the master's flags"
request -H "Authorization: token=$bob" "http://$host/master/flags"

section "Denied: bob may not read the master's state (403)"
request -H "Authorization: token=$bob" "http://$host/master/state"

section "An operator asks: may bob run a task as nobody in the space /prod/web?"
request -H "Authorization: token=$valid" "http://$host/master/authorize" -d '
  {"subject": {"value": "bob"}, "action": "RUN_TASK",
   "object": {"framework_info": {"user": "nobody", "name": "web"},
              "task_info": {"name": "web", "task_id": {"value": "web-1"},
                            "slave_id": {"value": "agent-1"},
                            "labels": {"labels": [{"key": "OVRA_SPACE",
                                                   "value": "/prod/web"}]}}}}'

section "And may alice read the master's state?"
request -H "Authorization: token=$valid" "http://$host/master/authorize" -d '
  {"subject": {"value": "alice"}, "action": "GET_ENDPOINT_WITH_PATH",
   "object": {"value": "/master/state"}}'

section "Classic authentication between two processes: a master host and an agent host"
# The master loads the classic authenticator beside its HTTP modules; the
# agent, another OS process, the classic authenticatee with its service
# account's credential.
cat > "$work/classic-master.json" <<JSON
{"libraries": [{"file": "$build/libovra_security.so", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "master"}]},
  {"name": "com_corvanta_ovra_ClassicRPCAuthenticator", "parameters": []}]}]}
JSON
agent_modules() {
  cat <<JSON
{"libraries": [{"file": "$build/libovra_security.so", "modules": [
  {"name": "com_corvanta_ovra_http_Authenticator",
   "parameters": [{"key": "host", "value": "agent"}]},
  {"name": "com_corvanta_ovra_ClassicRPCAuthenticatee",
   "parameters": [{"key": "service_account_credential",
                   "value": "file://$1"}]}]}]}
JSON
}
agent_modules "$work/agent-1.json" > "$work/agent.json"
agent_modules "$work/stranger.json" > "$work/stranger-agent.json"

OVRA_IAM="http://127.0.0.1:$iam_port/" \
  $bin/ovra_host --modules="file://$work/classic-master.json" --role=master \
  > "$work/classic.out" 2> "$work/classic.log" &
pids+=($!)
classic=127.0.0.1:$(bash scripts/announced-port.sh "$work/classic.out")
echo "master host on $classic"

echo "The agent authenticates with its service account agent-1:"
$bin/ovra_host --modules="file://$work/agent.json" --role=agent \
  --master="master@$classic" --principal=agent-1 2> "$work/agent.log" || true
echo "A client whose token the master's IAM key does not verify:"
$bin/ovra_host --modules="file://$work/stranger-agent.json" --role=agent \
  --master="master@$classic" --principal=stranger 2> "$work/stranger.log" || true
echo "The master's log of both:"
grep -h -E "\] (Successfully authenticated principal|Failed to authenticate slave)" \
  "$work/classic.log" | sed 's/^[^]]*] //'

section "Secrets: a development secret store, and an agent with the secrets isolator and hook"
# The store checks the IAM service's tokens; agent-1 may read the team's
# database URL, only someone else its private key.
cat > "$work/secrets.json" <<JSON
{"team1/app/dburl": "postgres://app:s3cr3t@db:5432/app",
 "team1/app/private": {"value": "k3y", "readers": ["someone-else"]}}
JSON
$bin/ovra_dev_secrets --secrets="$work/secrets.json" --iam="http://127.0.0.1:$iam_port" \
  > "$work/store.out" 2> "$work/store.log" &
store_pid=$!
pids+=($store_pid)
store="http://127.0.0.1:$(bash scripts/announced-port.sh "$work/store.out")/secrets/v1"
echo "secret store at $store"
bash scripts/secrets-modules.sh "$build/libovra_security.so" "$store" "$work/agent-1.json" 2secs \
  > "$work/agent-secrets.json"

# A task in the space team1/app asking for one secret as DB_URL.
secret_task() {
  cat <<JSON
{"containerizer": "$1",
 "task": {"name": "web", "task_id": {"value": "web-1"}, "slave_id": {"value": "agent-1"},
          "command": {"value": "echo \"DB_URL=\$DB_URL\""},
          "labels": {"labels": [
            {"key": "OVRA_SECRET_SPACE", "value": "team1/app"},
            {"key": "OVRA_SECRETS",
             "value": "[{\"name\": \"$2\", \"type\": \"ENVIRONMENT\", \"environment\": {\"name\": \"db_url\"}}]"}]}}}
JSON
}
launch_secret() {
  $bin/ovra_host --modules="file://$work/agent-secrets.json" --role=agent \
    --work_dir="$work/agent" --launch="$(secret_task "$1" "$2")" 2>> "$work/agent-secrets.log" || true
  echo
}
echo "Through the isolator (Mesos containerizer):"
launch_secret mesos team1/app/dburl
echo "Through the hook (Docker containerizer):"
launch_secret docker team1/app/dburl
echo "A secret outside the task's space:"
launch_secret mesos team2/db
echo "A secret the agent's account may not read:"
launch_secret mesos team1/app/private
echo "The store stops answering (each module's check at load, then the fetch, wait 2secs):"
kill -STOP "$store_pid"
started=$(date +%s)
launch_secret mesos team1/app/dburl
echo "launch failed after $(( $(date +%s) - started ))s"
kill -CONT "$store_pid"
echo "The agent's audit records, in order:"
grep -h 'type=audit' "$work/agent-secrets.log" | sed 's/^[^]]*] //'
echo "Lines of the agent's log holding a secret value: $(grep -c -e 's3cr3t' -e 'k3y' "$work/agent-secrets.log" || true)"

section "SSL: an agent with strict SSL hands its tasks its SSL files and settings"
# The agent's CA, key and certificate (for localhost and 127.0.0.1), made
# here with the openssl CLI; the agent requires and verifies peer
# certificates. Its work directory is open to the task's user, nobody.
chmod 755 "$work"
ssl=$work/ssl
bash scripts/agent-certificate.sh "$ssl"
ssl_files='{"key": "ca_file", "value": "'$ssl/ca.crt'"},
  {"key": "cert_file", "value": "'$ssl/agent.crt'"}, {"key": "key_file", "value": "'$ssl/agent.key'"}'
cat > "$work/agent-ssl.json" <<JSON
{"libraries": [{"file": "$build/libovra_security.so", "modules": [
  {"name": "com_corvanta_ovra_SSLExecutorIsolator", "parameters": [$ssl_files]},
  {"name": "com_corvanta_ovra_SSLExecutorHook", "parameters": [$ssl_files]}]}]}
JSON
strict_ssl=(LIBPROCESS_SSL_ENABLED=true LIBPROCESS_SSL_CERT_FILE="$ssl/agent.crt"
  LIBPROCESS_SSL_KEY_FILE="$ssl/agent.key" LIBPROCESS_SSL_CA_FILE="$ssl/ca.crt"
  LIBPROCESS_SSL_VERIFY_CERT=true LIBPROCESS_SSL_REQUIRE_CERT=true)
# launch_ssl <containerizer> <command> [agent environment...]: the state,
# then what the command wrote. A Docker launch runs a custom executor, which
# also sees the agent's endpoint.
launch_ssl() {
  local containerizer=$1 command=$2
  shift 2
  local run='"command": {"value": "'"$command"'", "user": "nobody"}'
  local request='"task": {"name": "t", "task_id": {"value": "t1"}, "slave_id": {"value": "a1"}, '"$run"'}'
  [ "$containerizer" = docker ] && request='"executor": {"executor_id": {"value": "e1"}, '"$run"'}'
  local outcome sandbox
  outcome=$(env "$@" $bin/ovra_host --modules="file://$work/agent-ssl.json" --role=agent \
    --work_dir="$work/agent" --launch='{"containerizer": "'$containerizer'", '"$request"'}' \
    2>> "$work/agent-ssl.log" || true)
  echo "$outcome" | grep -o '"state":"[A-Z_]*"'
  sandbox=$(echo "$outcome" | grep -o '"sandbox":"[^"]*"' | cut -d'"' -f4 | sed 's|\\/|/|g')
  cat "$sandbox/stdout" "$sandbox/stderr" 2> /dev/null | sed 's/^/  /'
}
ssl_list="stat -c '%U:%G %a %n' . .ssl .ssl/*; env | grep ^LIBPROCESS_SSL_ | sort"
ssl_curl='curl -sS --cacert \"$LIBPROCESS_SSL_CA_FILE\" --cert \"$LIBPROCESS_SSL_CERT_FILE\" --key \"$LIBPROCESS_SSL_KEY_FILE\" https://$MESOS_AGENT_ENDPOINT/agent/health; echo'
echo "A command task as nobody (Mesos containerizer, SSL isolator): its sandbox, its variables, then curl to the agent over TLS:"
launch_ssl mesos "$ssl_list; $ssl_curl" "${strict_ssl[@]}"
echo "The same task with the CA file alone, no client certificate (the agent refuses it):"
launch_ssl mesos 'curl -sS --cacert \"$LIBPROCESS_SSL_CA_FILE\" https://$MESOS_AGENT_ENDPOINT/agent/health' "${strict_ssl[@]}"
echo "An executor in the Docker containerizer (SSL hook), which sees its sandbox at /mnt/mesos/sandbox:"
launch_ssl docker "pwd; stat -c '%U:%G %a %n' .ssl; echo LIBPROCESS_SSL_KEY_FILE=\$LIBPROCESS_SSL_KEY_FILE; $ssl_curl" "${strict_ssl[@]}"
echo "An agent with SSL off: the sandbox holds only the task's output, and no LIBPROCESS_SSL_* is set:"
launch_ssl mesos 'ls -A; env | grep -c ^LIBPROCESS_SSL_ || true'

section "The audit records of these decisions"
grep -h 'type=audit' "$work/host.log" "$work/anonymous.log" "$work/classic.log" \
  | sed 's/^[^]]*] //'

# The counts of the decisions above, as an operator reads them from each
# master host's /metrics/snapshot (the modules' own metrics, "ovra/...").
metrics() {
  curl -s "http://$1/metrics/snapshot" | python3 -c '
import json, sys
for name, value in sorted(json.load(sys.stdin).items()):
    if name.startswith("ovra/"):
        print(f"{name} {value:g}")'
}

section "The metrics of the master host (HTTP authenticator and authorizer)"
metrics "$host"

section "The metrics of the master host with the anonymous principal"
metrics "$anonymous"

section "The metrics of the classic master host"
metrics "$classic"
