#!/usr/bin/env bash
# The switch that builds the modules against an installed Mesos 1.2.0
# (OVRA_MESOS_INCLUDE_DIR, OVRA_MESOS_LIBRARY_DIR): Mesos cannot be
# installed here, so this configures the project against a folder laid out
# as an installed Mesos (empty headers, an empty libmesos.so) and checks
# what the configuration decides: the modules compile with Mesos's headers
# and link libmesos, the stand-in is left out with everything that needs
# it, and a wrong folder or version stops the configuration with its
# reason.
#
#   check_configure.sh <source folder>
set -euo pipefail
source_dir="$(cd "${1:?usage: check_configure.sh <source folder>}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fake_mesos() {  # fake_mesos <folder> <version>
  local include="$1/include"
  mkdir -p "$include"/mesos/{authorizer,slave} "$include"/stout "$include"/process "$1/lib"
  printf '#define MESOS_VERSION "%s"\n' "$2" > "$include/mesos/version.hpp"
  touch "$include"/mesos/{mesos.proto,module.hpp} "$include"/mesos/authorizer/authorizer.hpp \
        "$include"/mesos/slave/isolator.hpp "$include"/stout/try.hpp "$include"/process/future.hpp \
        "$1/lib/libmesos.so"
}

configure() {  # configure <build folder> <cmake arguments...>
  local build="$1"
  shift
  cmake -G Ninja -S "$source_dir" -B "$build" "$@" > "$build.log" 2>&1
}

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# An installed Mesos 1.2.0.
fake_mesos "$work/mesos" 1.2.0
if configure "$work/build" -DOVRA_MESOS_INCLUDE_DIR="$work/mesos/include" \
                           -DOVRA_MESOS_LIBRARY_DIR="$work/mesos/lib"; then
  ninja_file="$work/build/build.ninja"
  grep -qE -- "(-I|-isystem )$work/mesos/include" "$ninja_file" ||
    fail "the modules do not compile with Mesos's headers"
  grep -q -- "$work/mesos/lib/libmesos.so" "$ninja_file" ||
    fail "the modules do not link libmesos"
  grep -q -- "$source_dir/platform/include" "$ninja_file" &&
    fail "the stand-in's headers are still used"
  grep -qE "build (platform/)?libmesos_platform|build tests/|build tools/" "$ninja_file" &&
    fail "targets of the stand-in, the tests or the tools are still built"
  grep -q -- "-I $work/mesos/include .*sentrel.proto" "$ninja_file" ||
    fail "the modules' protos do not import Mesos's own"
else
  fail "configuring against Mesos 1.2.0 failed: $(tail -5 "$work/build.log")"
fi

expect_refusal() {  # expect_refusal <what> <message> <cmake arguments...>
  local what="$1" message="$2"
  shift 2
  if configure "$work/refused" "$@"; then
    fail "$what was accepted"
  elif ! grep -qF -- "$message" "$work/refused.log"; then
    fail "$what was refused without '$message': $(grep -A3 'CMake Error' "$work/refused.log" | head -5)"
  fi
  rm -rf "$work/refused" "$work/refused.log"
}

fake_mesos "$work/mesos13" 1.3.0
expect_refusal "Mesos 1.3.0" "these modules are for Mesos 1.2" \
  -DOVRA_MESOS_INCLUDE_DIR="$work/mesos13/include" -DOVRA_MESOS_LIBRARY_DIR="$work/mesos13/lib"
expect_refusal "a library folder without libmesos" "has no libmesos" \
  -DOVRA_MESOS_INCLUDE_DIR="$work/mesos/include" -DOVRA_MESOS_LIBRARY_DIR="$work"
expect_refusal "an include folder without Mesos's headers" "has no mesos/version.hpp" \
  -DOVRA_MESOS_INCLUDE_DIR="$work" -DOVRA_MESOS_LIBRARY_DIR="$work/mesos/lib"
expect_refusal "an include folder alone" "OVRA_MESOS_LIBRARY_DIR is not set" \
  -DOVRA_MESOS_INCLUDE_DIR="$work/mesos/include"

if [ "$failures" -gt 0 ]; then
  exit 1
fi
echo "The Mesos build switch configures as expected"
