#!/usr/bin/env bash
# Prints a modules file for an agent that loads the secrets isolator (for
# the Mesos containerizer) and the secrets hook (for the Docker
# containerizer), both reading the store at STORE_URL with the service
# account of CREDENTIAL_FILE; tasks name their space in the label
# OVRA_SECRET_SPACE and their secrets in the label OVRA_SECRETS.
# Usage: secrets-modules.sh LIBRARY STORE_URL CREDENTIAL_FILE [NETWORK_TIMEOUT]
set -euo pipefail

library=$1 store=$2 credential=$3 timeout=${4:-5secs}
parameters='[{"key": "store_url", "value": "'$store'"},
     {"key": "special_secret_space_label", "value": "OVRA_SECRET_SPACE"},
     {"key": "special_secret_protobuf_label", "value": "OVRA_SECRETS"},
     {"key": "service_account_credential", "value": "file://'$credential'"},
     {"key": "network_timeout", "value": "'$timeout'"},
     {"key": "audit_log", "value": "true"}]'
cat <<JSON
{"libraries": [{"file": "$library", "modules": [
  {"name": "com_corvanta_ovra_SecretsIsolator", "parameters": $parameters},
  {"name": "com_corvanta_ovra_SecretsHook", "parameters": $parameters}]}]}
JSON
