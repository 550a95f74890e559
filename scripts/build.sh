#!/usr/bin/env bash
# Configures and builds the project into build/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir="${1:-build}"
shift || true

cmake -G Ninja -S . -B "$build_dir" "$@"
cmake --build "$build_dir" -j "$(nproc)"
