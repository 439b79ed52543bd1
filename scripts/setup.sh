#!/usr/bin/env bash
# Installs everything OskaBase needs to build, test and benchmark on Debian 12,
# from Debian's own packages. Run as root. Safe to run again.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # the library's dependencies
  libboost-dev libboost-thread-dev libboost-system-dev libspdlog-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  libconcurrentqueue-dev libtbb-dev libssl-dev libicu-dev libzmq3-dev
  # sanitizers and fuzzers (clang's runtimes), the Windows compile check
  clang libclang-rt-14-dev g++-mingw-w64-x86-64-posix
  # real locales, time zones and an X server for the tests
  locales-all tzdata xvfb
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
