#!/usr/bin/env bash
# Compiles (without linking) every source of the library for 64-bit Windows
# with mingw-w64, against the real Windows headers instead of platform/winapi,
# so no Linux call slips into the library's own code.
set -euo pipefail
cd "$(dirname "$0")/.."

cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "$cxx missing: run scripts/setup.sh"; exit 1; }

# Boost's headers are portable; expose only them, not the rest of /usr/include.
shim=$(mktemp -d)
trap 'rm -rf "$shim"' EXIT
ln -s /usr/include/boost "$shim/boost"

includes=(-Iinclude -Isrc -isystem "$shim")
for dir in runtime/*/include; do
  [ -d "$dir" ] && includes+=(-I"$dir")
done

status=0
count=0
while IFS= read -r -d '' source; do
  count=$((count + 1))
  if ! "$cxx" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes \
      -DOSKABASE_BUILDING -D_WIN32_WINNT=0x0601 -DNOMINMAX "${includes[@]}" "$source"; then
    echo "FAILED: $source"
    status=1
  fi
done < <(find src -name '*.cpp' -print0 | sort -z)
echo "windows compile check: $count sources, status $status"
exit $status
