#!/usr/bin/env bash
# Builds an update installer that carries the given patch packages.
#
#   ./build.sh --global A.msp [--langpack B.msp] [-o update.exe] [--build-dir DIR] [--x64]
#
# Either package may be left out, not both. The result imports only system DLLs
# and runs on 32- and 64-bit Windows (--x64 makes a 64-bit one instead).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

usage() {
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

# Without arguments: the sample run, which builds a sample product and its
# patch, and shows the installer patching it under Wine.
if [ $# -eq 0 ]; then
  if [ -x "$here/scripts/sample-run.sh" ]; then exec "$here/scripts/sample-run.sh"; fi
  usage
fi

global=""
langpack=""
output="update.exe"
build_dir=""
toolchain="$here/cmake/mingw-i686.cmake"
while [ $# -gt 0 ]; do
  case "$1" in
    --global) global="${2:?--global needs a file}"; shift 2 ;;
    --langpack) langpack="${2:?--langpack needs a file}"; shift 2 ;;
    -o|--output) output="${2:?-o needs a file}"; shift 2 ;;
    --build-dir) build_dir="${2:?--build-dir needs a folder}"; shift 2 ;;
    --x64) toolchain="$here/cmake/mingw-x86_64.cmake"; shift ;;
    -h|--help) usage ;;
    *) echo "build.sh: unknown argument: $1" >&2; usage ;;
  esac
done
[ -n "$global$langpack" ] || { echo "build.sh: give --global, --langpack or both" >&2; usage; }

absolute() { (cd "$(dirname "$1")" && printf '%s/%s\n' "$(pwd)" "$(basename "$1")"); }
for pkg in "$global" "$langpack"; do
  [ -z "$pkg" ] || [ -f "$pkg" ] || { echo "build.sh: no such package file: $pkg" >&2; exit 1; }
done
[ -z "$global" ] || global="$(absolute "$global")"
[ -z "$langpack" ] || langpack="$(absolute "$langpack")"
if [ -z "$build_dir" ]; then
  case "$toolchain" in *x86_64*) build_dir="$here/build/installer-x64" ;; *) build_dir="$here/build/installer" ;; esac
fi

"$here/scripts/install-deps.sh"

cmake -S "$here" -B "$build_dir" -G Ninja --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DUPDATE_GLOBAL_MSP="$global" -DUPDATE_LANGPACK_MSP="$langpack" >/dev/null
cmake --build "$build_dir" --target update -- -j2 >/dev/null
cp "$build_dir/update.exe" "$output"
echo "built $output"
