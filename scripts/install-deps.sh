#!/usr/bin/env bash
# Installs every build and test dependency from Debian packages: those of
# the stand-in platform, those of the real Mesos 1.2.0 platform built from
# its source (libevent, zlib, libcurl's headers for stout, patch), and wrk
# for the host's benchmark.
# Run as root on a fresh Debian 12 machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libprotobuf-dev protobuf-compiler
  libgoogle-glog-dev
  libssl-dev
  libboost-dev
  picojson-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  libcpp-jwt-dev
  clang libclang-rt-14-dev
  libevent-dev zlib1g-dev libcurl4-openssl-dev patch
  wrk
  curl
  openssl
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
