#!/usr/bin/env bash
# Prints the port that a program announced in FILE ("... 127.0.0.1:<port>"),
# waiting up to 10 seconds for the announcement.
# Usage: announced-port.sh FILE
set -euo pipefail

for _ in $(seq 200); do
  if grep -qE '127\.0\.0\.1:[0-9]+' "$1" 2>/dev/null; then
    grep -oE '127\.0\.0\.1:[0-9]+' "$1" | head -n 1 | cut -d: -f2
    exit 0
  fi
  sleep 0.05
done

echo "no port announced in $1" >&2
exit 1
