#!/usr/bin/env bash
# Builds every libFuzzer target with clang under AddressSanitizer and runs
# each for a bounded time. Usage: fuzz.sh [SECONDS_PER_TARGET] (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOSKA_SANITIZE=address -DOSKA_BUILD_FUZZ=ON -DOSKA_BUILD_TESTS=OFF -DOSKA_BUILD_TOOLS=OFF >/dev/null
targets=$(ninja -C build-fuzz -t targets all | sed -n 's/^\(oskabase-fuzz-[A-Za-z0-9_-]*\):.*/\1/p' | sort -u)
if [ -z "$targets" ]; then
  echo "no fuzz targets"
  exit 0
fi
cmake --build build-fuzz --target $targets
for t in $targets; do
  corpus="build-fuzz/corpus/$t"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/${t#oskabase-fuzz-}"
  echo "--- $t for ${seconds}s"
  "build-fuzz/tests/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" \
    $( [ -d "$seeds" ] && echo "$seeds" ) 2>&1 | tail -n 12
done
