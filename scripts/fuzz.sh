#!/usr/bin/env bash
# Runs every fuzz target in turn (or those named), each for at most the
# given number of seconds or 2 million inputs, whichever comes first,
# starting from its seed corpus in tests/fuzz/corpus. Builds the targets
# into build-fuzz first (clang, libFuzzer, ASan, UBSan).
#
#   scripts/fuzz.sh [seconds] [target...]     seconds: 300 unless given
#
# New inputs that widen coverage collect in build-fuzz/corpus/<target>; an
# input that crashes or hangs a target is kept in build-fuzz/findings and
# fails the run. Prints one line per target with its execution count.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-300}"
shift || true

if [ ! -f build-fuzz/build.ninja ]; then
  cmake -G Ninja -S . -B build-fuzz -DOVRA_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build build-fuzz -j "$(nproc)"

targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for seeds in tests/fuzz/corpus/*/; do
    targets+=("$(basename "$seeds")")
  done
fi

mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  log="build-fuzz/$target.log"
  # -timeout: one input running for 30 s is a hang. Leaks are reported at
  # exit by ASan itself.
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     "build-fuzz/tests/fuzz/${target}_fuzz" \
       -max_total_time="$seconds" -runs=2000000 -timeout=30 \
       -print_final_stats=1 \
       -artifact_prefix="build-fuzz/findings/${target}-" \
       "$corpus" "tests/fuzz/corpus/$target" > "$log" 2>&1; then
    result=clean
  else
    result="FAILED (see $log)"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  time=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*' || true)
  printf '%-22s %10s executions %6ss  %s\n' "$target" "${runs:-0}" "${time:-?}" "$result"
done
exit $status
