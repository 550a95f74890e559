#!/usr/bin/env bash
# The main job on a fresh machine: installs the dependencies, builds, and
# loads every module of the library through the module loader, printing
# each descriptor's kind, versions and description.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/build.sh build

build/tools/ovra_host --modules=file://examples/modules.json --describe
