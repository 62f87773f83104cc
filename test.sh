#!/usr/bin/env bash
# Builds every tree and runs every test: the native unit tests (with the
# installer rebuilt bit for bit, and the layout checks on its 32- and 64-bit
# builds), the sanitizer run, then the Windows build this machine runs with
# every scenario under Wine, and, where 32- and 64-bit programs both run, the
# 64-bit build with the scenarios that depend on the executable's kind.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

"$here/scripts/install-deps.sh"
# Which Windows build runs under Wine here, and why (said first, on every run).
. "$here/scripts/windows-target.sh"

echo "== native build and unit tests; the installer built twice (32-bit) and once (64-bit) with build.sh"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -- -j2
ctest --test-dir build/native --output-on-failure -j2
# The fault sweep's figure (tests/unit/fault_sweep_test.cpp): every platform call failed in turn.
grep -ho 'fault sweep: .*' build/native/Testing/Temporary/LastTest.log || true

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, short fuzz runs"
cmake --preset sanitize >/dev/null
cmake --build build/hard-sanitize -- -j2
ctest --test-dir build/hard-sanitize --output-on-failure -j2
grep -ho 'fault sweep: .*' build/hard-sanitize/Testing/Temporary/LastTest.log || true

# windows_tests FOLDER TOOLCHAIN WHAT [ctest options]: builds a Windows tree and runs its tests under Wine.
windows_tests() {
  local dir="$1" toolchain="$2" what="$3"
  shift 3
  echo "== Windows build and tests under Wine: $what ($dir)"
  # A tree configured with the other toolchain keeps its compilers whatever is asked now: made anew.
  local triple
  triple="$(sed -n 's/^set(MINGW_TRIPLE \(.*\))$/\1/p' "$toolchain")"
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q "^CMAKE_LINKER:FILEPATH=.*/$triple-" "$dir/CMakeCache.txt"; then
    rm -rf "$dir"
  fi
  cmake -S . -B "$dir" -G Ninja --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$dir" -- -j2
  ctest --test-dir "$dir" --output-on-failure "$@"
}
windows_tests build/windows "$windows_toolchain" "the $windows_build build, every scenario"
# Where both builds run, the 64-bit one also runs the scenarios that depend on the executable's
# own kind: its image and the package bytes read from it, the loader's search for DLLs, the patch
# run and its exit codes.
if [ -n "$windows_other_toolchain" ]; then
  windows_tests build/windows-x64 "$windows_other_toolchain" "the 64-bit build, scenarios extraction, \
installer_hardening, installer_queries, patch_run, deployment" \
    -R '^e2e\.(extraction|installer_hardening|installer_queries|patch_run|deployment)$'
fi
