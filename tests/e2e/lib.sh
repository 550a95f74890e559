# What the end-to-end scripts share, sourced after `set -euo pipefail`:
# a work folder and the processes started there, both gone at exit; named
# checks that count failures; the port a program announced; the audit
# records of a log.

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

announced() { bash "$(dirname "${BASH_SOURCE[0]}")/../../scripts/announced-port.sh" "$1"; }

# The number of audit records in the logs that hold every KEY=VALUE, read
# in the form OVRA_AUDIT_FORMAT names: audits LOG... -- KEY=VALUE...
audits() { python3 "$(dirname "${BASH_SOURCE[0]}")/audit_records.py" "$@"; }
