#!/usr/bin/env bash
# Builds an update installer that carries the given patch packages.
#
#   ./build.sh --global A.msp [--langpack B.msp] [-o update.exe] [--build-dir DIR] [--x64]
#              [--force] [--sign CERT KEY]
#   ./build.sh --inspect A.msp [B.msp ...]
#
# Either package may be left out, not both. The result imports only system DLLs
# and runs on 32- and 64-bit Windows (--x64 makes a 64-bit one instead).
# The packages are checked first: an error in their Template or Keywords stops
# the build (--force builds anyway), a warning does not. --sign signs the result
# with Authenticode (SHA-256) using a PEM certificate and key, and verifies it.
# --inspect prints what the installer reads from each package and builds nothing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

usage() {
  sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
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
force=""
sign_cert=""
sign_key=""
inspect=()
while [ $# -gt 0 ]; do
  case "$1" in
    --global) global="${2:?--global needs a file}"; shift 2 ;;
    --langpack) langpack="${2:?--langpack needs a file}"; shift 2 ;;
    -o|--output) output="${2:?-o needs a file}"; shift 2 ;;
    --build-dir) build_dir="${2:?--build-dir needs a folder}"; shift 2 ;;
    --x64) toolchain="$here/cmake/mingw-x86_64.cmake"; shift ;;
    --force) force="--force"; shift ;;
    --sign)
      [ $# -ge 3 ] || { echo "build.sh: --sign needs a certificate and a key file" >&2; usage; }
      sign_cert="$2"; sign_key="$3"; shift 3 ;;
    --inspect)
      shift
      [ $# -gt 0 ] || { echo "build.sh: --inspect needs a package file" >&2; usage; }
      while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do inspect+=("$1"); shift; done ;;
    -h|--help) usage ;;
    *) echo "build.sh: unknown argument: $1" >&2; usage ;;
  esac
done

package_checks() {
  command -v python3 >/dev/null 2>&1 || "$here/scripts/install-deps.sh"
  python3 "$here/scripts/package_checks.py" "$@"
}

if [ ${#inspect[@]} -gt 0 ]; then
  package_checks --inspect "${inspect[@]}"
  exit $?
fi

[ -n "$global$langpack" ] || { echo "build.sh: give --global, --langpack or both" >&2; usage; }

absolute() { (cd "$(dirname "$1")" && printf '%s/%s\n' "$(pwd)" "$(basename "$1")"); }
for file in "$global" "$langpack"; do
  [ -z "$file" ] || [ -f "$file" ] || { echo "build.sh: no such package file: $file" >&2; exit 1; }
done
for file in "$sign_cert" "$sign_key"; do
  [ -z "$file" ] || [ -f "$file" ] || { echo "build.sh: no such file for --sign: $file" >&2; exit 1; }
done
[ -z "$global" ] || global="$(absolute "$global")"
[ -z "$langpack" ] || langpack="$(absolute "$langpack")"
if [ -z "$build_dir" ]; then
  case "$toolchain" in *x86_64*) build_dir="$here/build/installer-x64" ;; *) build_dir="$here/build/installer" ;; esac
fi

"$here/scripts/install-deps.sh"

# The packages are checked before anything is embedded.
checks=()
[ -z "$global" ] || checks+=(--global "$global")
[ -z "$langpack" ] || checks+=(--langpack "$langpack")
package_checks ${force:+"$force"} "${checks[@]}" || exit 1

cmake -S "$here" -B "$build_dir" -G Ninja --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DUPDATE_GLOBAL_MSP="$global" -DUPDATE_LANGPACK_MSP="$langpack" >/dev/null
cmake --build "$build_dir" --target update -- -j2 >/dev/null
if [ -n "$sign_cert" ]; then
  "$here/scripts/sign.sh" "$sign_cert" "$sign_key" "$build_dir/update.exe" "$output"
  echo "built and signed $output"
else
  cp "$build_dir/update.exe" "$output"
  echo "built $output"
fi
