#!/usr/bin/env bash
# The benchmark: what update.exe costs on top of its packages, measured under
# Wine on this machine. One command; takes a few minutes.
#
#   bench/run.sh [--x64] [--runs N] [--size-mb MB]
#   bench/run.sh --build [--x64] [--size-mib MIB]
#
# Builds the Windows trees build/hard-bench (i686) and build/hard-bench-x64,
# the one measured with the test tools, and the three helper programs of this
# folder for it, then runs bench.py, which prints the figures: time and peak
# memory of each run against the same work without update.exe, and whether
# the goals are met. The i686 build is measured unless --x64 is given or this
# machine's Wine runs only 64-bit programs (scripts/windows-target.sh, which
# chooses Wine's loader here as for the tests, says which and why).
# --build measures ./build.sh instead (bench/build_cost.sh): no Wine.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
cd "$root"
if [ "${1:-}" = --build ]; then shift; exec "$here/build_cost.sh" "$@"; fi
"$root/scripts/install-deps.sh"
. "$root/scripts/windows-target.sh"

measured=build/hard-bench other=build/hard-bench-x64 triple=i686-w64-mingw32 arch=i686
x64=""
if [ "${1:-}" = --x64 ]; then shift; x64=1; fi
if [ -n "$x64" ] || [ "$windows_build" = 64-bit ]; then
  measured=build/hard-bench-x64 other=build/hard-bench triple=x86_64-w64-mingw32 arch=x64
fi

for dir in build/hard-bench build/hard-bench-x64; do
  toolchain=cmake/mingw-i686.cmake; [ "$dir" = build/hard-bench-x64 ] && toolchain=cmake/mingw-x86_64.cmake
  cmake -S . -B "$dir" -G Ninja --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DUPDATE_GLOBAL_MSP= -DUPDATE_LANGPACK_MSP= >/dev/null
done
nice cmake --build "$measured" -- -j2 >/dev/null
nice cmake --build "$other" --target update -- -j2 >/dev/null

tools="$root/$measured/bench-tools"
mkdir -p "$tools"
for tool in copy_file bare_apply; do
  "$triple-g++-win32" -std=c++17 -O2 -municode -static -s -o "$tools/$tool.exe" "$here/$tool.cpp" -lmsi
done
"$triple-g++-win32" -std=c++17 -O2 -municode -mwindows -static -s -Wl,--file-alignment,4096 \
  -o "$tools/empty.exe" "$here/empty.cpp"

exec python3 "$here/bench.py" --config "$measured/tests/e2e/e2e-config.json" --tools "$tools" --arch "$arch" \
  --exe-i686 build/hard-bench/update.exe --exe-x64 build/hard-bench-x64/update.exe "$@"
