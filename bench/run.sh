#!/usr/bin/env bash
# The benchmark: what update.exe costs on top of its packages, measured under
# Wine on this machine. One command; takes a few minutes.
#
#   bench/run.sh [--runs N] [--size-mb MB]
#
# Builds the Windows trees build/hard-bench (i686, with the test tools) and
# build/hard-bench-x64, the two helper programs of this folder, then runs
# bench.py, which prints the figures.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"

for arch in i686 x86_64; do
  dir="build/hard-bench"; [ "$arch" = x86_64 ] && dir="build/hard-bench-x64"
  cmake -S . -B "$dir" -G Ninja --toolchain "cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DUPDATE_GLOBAL_MSP= -DUPDATE_LANGPACK_MSP= >/dev/null
done
nice cmake --build build/hard-bench -- -j2 >/dev/null
nice cmake --build build/hard-bench-x64 --target update -- -j2 >/dev/null

tools="$root/build/hard-bench/bench-tools"
mkdir -p "$tools"
for tool in copy_file bare_apply; do
  i686-w64-mingw32-g++-win32 -std=c++17 -O2 -municode -static -s -o "$tools/$tool.exe" "$here/$tool.cpp" -lmsi
done

exec python3 "$here/bench.py" --config build/hard-bench/tests/e2e/e2e-config.json --tools "$tools" \
  --exe-i686 build/hard-bench/update.exe --exe-x64 build/hard-bench-x64/update.exe "$@"
