#!/usr/bin/env bash
# The whole test suite from a fresh machine: installs the dependencies,
# builds, runs every test, then runs the platform tests again under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"

cmake -G Ninja -S . -B build-tsan -DOVRA_SANITIZE=thread -DOVRA_BUILD_BENCH=OFF
cmake --build build-tsan -j "$(nproc)" \
  --target stout_tests process_tests module_frame_tests
ctest --test-dir build-tsan -L '^platform' --output-on-failure -j "$(nproc)"
