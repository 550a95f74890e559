#!/usr/bin/env bash
# The whole test suite from a fresh machine: installs the dependencies,
# builds and runs every test on the stand-in platform (build/), then on the
# real Mesos 1.2.0 platform built from its source (build-real/), then every
# test again in a ThreadSanitizer build and in an
# AddressSanitizer+UndefinedBehaviorSanitizer build of the stand-in (lean:
# no benchmarks), and ends with a short run of every fuzz target. Each
# build keeps its own folder.
#
#   scripts/test.sh           everything, as CI runs it
#   scripts/test.sh --quick   the stand-in build and its tests only
#
# The real platform's source is OVRA_MESOS_SOURCE, else
# ../shared/mesos/mesos-1.2.0-platform-src.tar.gz beside the checkout;
# without either it is skipped, with a line that says so.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true

start=$(date +%s)
step() {
  printf '\n=== [%s, %d min] %s\n' "$(date +%T)" $((($(date +%s) - start) / 60)) "$*"
}

step "Installing the dependencies"
bash scripts/install-deps.sh

step "Stand-in platform: building (build/)"
bash scripts/build.sh build
step "Stand-in platform: running the tests"
ctest --test-dir build --output-on-failure -j "$(nproc)"

if $quick; then
  step "Done (--quick: the stand-in's plain build only)"
  exit 0
fi

source=${OVRA_MESOS_SOURCE:-../shared/mesos/mesos-1.2.0-platform-src.tar.gz}
if [ -e "$source" ]; then
  step "Real Mesos 1.2.0 platform: building libmesos from $source, then the library, tools and tests (build-real/)"
  bash scripts/build.sh build-real -DOVRA_MESOS_SOURCE="$source"
  step "Real Mesos 1.2.0 platform: running the tests"
  ctest --test-dir build-real --output-on-failure -j "$(nproc)" --timeout 300
else
  step "Real Mesos 1.2.0 platform: skipped, no Mesos source at $source (set OVRA_MESOS_SOURCE)"
fi

for sanitizer in thread address; do
  dir=build-$([ "$sanitizer" = thread ] && echo tsan || echo asan)
  step "Stand-in platform, $sanitizer sanitizer: building ($dir/)"
  cmake -G Ninja -S . -B "$dir" -DOVRA_SANITIZE=$sanitizer -DOVRA_BUILD_BENCH=OFF
  cmake --build "$dir" -j "$(nproc)"
  step "Stand-in platform, $sanitizer sanitizer: running the tests"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
done

# Each fuzz target briefly, from its seed corpus: a crash or a hang fails.
step "Fuzz targets: building and running each for ${OVRA_FUZZ_SECONDS:-10} seconds"
bash scripts/fuzz.sh "${OVRA_FUZZ_SECONDS:-10}"

step "Done"
