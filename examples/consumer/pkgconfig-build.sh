#!/usr/bin/env bash
# Builds the consumer once more with pkg-config alone, against an installed
# prefix, and runs it: proves oskabase.pc is complete.
# Usage: pkgconfig-build.sh PREFIX OUTDIR
set -euo pipefail
prefix=$1
out=$2
here=$(dirname "$0")
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/x86_64-linux-gnu/pkgconfig"
flags=$(pkg-config --cflags --libs oskabase)
g++ -std=c++17 "$here/main.cpp" $flags -o "$out/oskabase-consumer-pc"
LD_LIBRARY_PATH="$prefix/lib" "$out/oskabase-consumer-pc"
