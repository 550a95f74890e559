#!/usr/bin/env bash
# The whole test suite from a fresh machine: installs the dependencies,
# builds, runs every test, then runs every test again in a ThreadSanitizer
# build and in an AddressSanitizer+UndefinedBehaviorSanitizer build (lean:
# no benchmarks), and ends with a short run of every fuzz target. Each
# build keeps its own folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"

for sanitizer in thread address; do
  dir=build-$([ "$sanitizer" = thread ] && echo tsan || echo asan)
  cmake -G Ninja -S . -B "$dir" -DOVRA_SANITIZE=$sanitizer -DOVRA_BUILD_BENCH=OFF
  cmake --build "$dir" -j "$(nproc)"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
done

# Each fuzz target briefly, from its seed corpus: a crash or a hang fails.
bash scripts/fuzz.sh "${OVRA_FUZZ_SECONDS:-10}"
