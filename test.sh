#!/usr/bin/env bash
# Builds both trees and runs every test: the native unit tests, then the
# Windows build with its tests under Wine.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

"$here/scripts/install-deps.sh"

echo "== native build and unit tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -- -j2
ctest --test-dir build/native --output-on-failure -j2

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, short fuzz runs"
cmake --preset sanitize >/dev/null
cmake --build build/hard-sanitize -- -j2
ctest --test-dir build/hard-sanitize --output-on-failure -j2

echo "== Windows build and tests under Wine"
. "$here/scripts/windows-target.sh"
cmake -S . -B build/windows -G Ninja --toolchain "$windows_toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/windows -- -j2
ctest --test-dir build/windows --output-on-failure
