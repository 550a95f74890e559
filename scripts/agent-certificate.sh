#!/usr/bin/env bash
# Makes, in DIR, a CA (ca.key, ca.crt) and an agent's key and certificate
# for localhost and 127.0.0.1 signed by it (agent.key, agent.crt), valid
# for a day, with the openssl CLI; the agent's key is readable by its
# owner only.
# Usage: agent-certificate.sh DIR
set -euo pipefail

dir=$1
mkdir -p "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=ovra-demo-ca \
  -keyout "$dir/ca.key" -out "$dir/ca.crt" 2> /dev/null
openssl req -newkey rsa:2048 -nodes -subj /CN=localhost \
  -keyout "$dir/agent.key" -out "$dir/agent.csr" 2> /dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' > "$dir/san.ext"
openssl x509 -req -days 1 -in "$dir/agent.csr" -CA "$dir/ca.crt" \
  -CAkey "$dir/ca.key" -CAcreateserial -extfile "$dir/san.ext" \
  -out "$dir/agent.crt" 2> /dev/null
chmod 600 "$dir/agent.key"
