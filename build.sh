#!/usr/bin/env bash
# Builds an update installer that carries the given patch packages.
#
#   ./build.sh --global A.msp [--langpack B.msp] [-o update.exe] [--build-dir DIR] [--x64]
#              [--force] [--sign CERT KEY [signing options]] [--product-name TEXT] [--company TEXT]
#              [--version N.N.N.N] [--description TEXT] [--copyright TEXT] [--icon FILE.ico]
#   ./build.sh --inspect A.msp [B.msp ...] [branding options]
#   ./build.sh --version
#
# Either package may be left out, not both. The result imports only system DLLs
# and runs on 32- and 64-bit Windows (--x64 makes a 64-bit one instead).
# The packages are checked first: an error in their Template, Keywords or
# transforms stops the build (--force builds anyway), a warning does not.
# Packages larger together than an installer Windows can load are refused, --force or not.
# The branding options set the version information and icon of the installer;
# what is left out comes from the global package (else the language pack):
# version from Keywords, company from Author, product name from Subject/Title.
# --sign signs the result with Authenticode (SHA-256) using a PEM certificate
# and key, with the product name as the signature's description, and verifies it.
# KEY is a PEM file or the pkcs11: URI of a key in a token or HSM; the signing
# options --ca FILE, --pkcs11-module PATH, --pin-file FILE, --timestamp URL and
# --timestamp-ca FILE are those of scripts/sign.sh.
# --inspect prints what the installer reads from each package and the version
# information it would get, and builds nothing. --version alone prints the
# version of msp-bootstrap itself.
set -euo pipefail
# A token's PIN (or a key's passphrase) is kept in this shell, unexported, until the signing
# step: none of the steps before it sees it, and a trace (bash -x) shows it nowhere.
case $- in *x*) trace=1 ;; *) trace="" ;; esac
{ set +x; } 2>/dev/null
sign_pin=("${UPDATE_SIGN_PIN-}")
[ -n "${UPDATE_SIGN_PIN+set}" ] || sign_pin=()
unset UPDATE_SIGN_PIN
[ -z "$trace" ] || set -x
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

usage() {
  sed -n '2,25p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

# The project's own version: the one written in the project() line of CMakeLists.txt.
if [ $# -eq 1 ] && [ "$1" = "--version" ]; then
  sed -n 's/^project([^)]*VERSION \([0-9][0-9.]*\).*/\1/p' "$here/CMakeLists.txt" | head -n 1
  exit 0
fi

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
sign_options=()
inspect=()
branding=()
icon=""
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
    --ca|--pkcs11-module|--pin-file|--timestamp|--timestamp-ca)
      [ $# -ge 2 ] || { echo "build.sh: $1 needs a value" >&2; usage; }
      sign_options+=("$1" "$2"); shift 2 ;;
    --inspect)
      shift
      [ $# -gt 0 ] || { echo "build.sh: --inspect needs a package file" >&2; usage; }
      while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do inspect+=("$1"); shift; done ;;
    --product-name|--company|--description|--copyright)
      [ $# -ge 2 ] || { echo "build.sh: $1 needs a text" >&2; usage; }
      branding+=("$1" "$2"); shift 2 ;;
    --version)
      [ $# -ge 2 ] || { echo "build.sh: --version with a build needs a version such as 2.1.6.0" >&2; usage; }
      branding+=("$1" "$2"); shift 2 ;;
    --icon) icon="${2:?--icon needs a file}"; branding+=("$1" "$2"); shift 2 ;;
    -h|--help) usage ;;
    *) echo "build.sh: unknown argument: $1" >&2; usage ;;
  esac
done

# The checks run with the system's Python, which sees Debian's python3-olefile (a python3
# earlier on PATH, e.g. from pyenv, may not).
python=/usr/bin/python3
package_checks() {
  "$python" -c 'import olefile' >/dev/null 2>&1 || "$here/scripts/install-deps.sh" --build
  "$python" "$here/scripts/package_checks.py" "$@"
}

if [ ${#inspect[@]} -gt 0 ]; then
  status=0
  package_checks --inspect "${inspect[@]}" || status=$?
  roles=(--global "${inspect[0]}")
  [ ${#inspect[@]} -lt 2 ] || roles+=(--langpack "${inspect[1]}")
  echo
  echo "With ${inspect[0]} as the global package${inspect[1]:+ and ${inspect[1]} as the language pack}:"
  "$python" "$here/scripts/branding.py" "${roles[@]}" ${branding[@]+"${branding[@]}"} || status=1
  exit $status
fi

[ -n "$global$langpack" ] || { echo "build.sh: give --global, --langpack or both" >&2; usage; }

absolute() { (cd "$(dirname "$1")" && printf '%s/%s\n' "$(pwd)" "$(basename "$1")"); }
for file in "$global" "$langpack"; do
  [ -z "$file" ] || [ -f "$file" ] || { echo "build.sh: no such package file: $file" >&2; exit 1; }
done
[ ${#sign_options[@]} -eq 0 ] || [ -n "$sign_cert" ] ||
  { echo "build.sh: ${sign_options[0]} is an option of --sign CERT KEY" >&2; exit 1; }
# The installer is mapped whole when it starts. Windows loads no image of 2 GiB or more (its
# linker refuses to make one, LNK1248), and a 32-bit process (this one is not large-address-aware)
# has 2 GiB of addresses in all, which the system DLLs, the stack and the heap share with the
# image: the 64-bit installer stays below 2 GiB, the 32-bit one below 1.75 GiB. 1 MiB of that is
# kept for the program itself (about 300 KB) and the page alignment of each package.
case "$toolchain" in
  *x86_64*) image_ceiling=$((2048 << 20)) bits=64 ;;
  *) image_ceiling=$((1792 << 20)) bits=32 ;;
esac
package_ceiling=$((image_ceiling - (1 << 20)))
packages_total=0
for file in "$global" "$langpack"; do
  [ -z "$file" ] || packages_total=$((packages_total + $(stat -L -c %s -- "$file")))
done
if [ "$packages_total" -gt "$package_ceiling" ]; then
  echo "build.sh: the packages total $packages_total bytes, more than the $package_ceiling bytes" \
    "($((package_ceiling >> 20)) MiB) that a $bits-bit installer can carry and still start; nothing was built" >&2
  exit 1
fi
[ -z "$global" ] || global="$(absolute "$global")"
[ -z "$langpack" ] || langpack="$(absolute "$langpack")"
if [ -z "$build_dir" ]; then
  case "$toolchain" in *x86_64*) build_dir="$here/build/installer-x64" ;; *) build_dir="$here/build/installer" ;; esac
fi

"$here/scripts/install-deps.sh" --build ${sign_cert:+--sign}
# The signing arguments are checked before anything is built.
[ -z "$sign_cert" ] || "$here/scripts/sign.sh" --check ${sign_options[@]+"${sign_options[@]}"} "$sign_cert" "$sign_key"

# The packages are checked, and the version information chosen, before anything is built.
checks=()
[ -z "$global" ] || checks+=(--global "$global")
[ -z "$langpack" ] || checks+=(--langpack "$langpack")
package_checks ${force:+"$force"} "${checks[@]}" || exit 1
mkdir -p "$build_dir"
"$python" "$here/scripts/branding.py" "${checks[@]}" ${branding[@]+"${branding[@]}"} \
  --header "$build_dir/branding-values.h" --product-name-out "$build_dir/product-name.txt" || exit 1
product_name="$(cat "$build_dir/product-name.txt")"
# osslsigncode writes the description as ASCII text: other characters would reach the elevation
# prompt garbled, so such a name is left out of the signature.
if [ -n "$sign_cert" ] && LC_ALL=C grep -q '[^ -~]' "$build_dir/product-name.txt"; then
  echo "note: the product name is not plain ASCII, so the signature carries no description"
  product_name=""
fi
[ -z "$icon" ] || icon="$(absolute "$icon")"

cmake -S "$here" -B "$build_dir" -G Ninja --toolchain "$toolchain" \
  -DCMAKE_BUILD_TYPE=Release \
  -DUPDATE_GLOBAL_MSP="$global" -DUPDATE_LANGPACK_MSP="$langpack" \
  -DUPDATE_BRANDING_HEADER="$build_dir/branding-values.h" -DUPDATE_ICON="$icon" >/dev/null
# What the build printed is shown only when it fails.
cmake --build "$build_dir" --target update -- -j2 >"$build_dir/build.log" 2>&1 ||
  { cat "$build_dir/build.log" >&2; echo "build.sh: the build failed; nothing was written to $output" >&2; exit 1; }
if [ -n "$sign_cert" ]; then
  { set +x; } 2>/dev/null
  [ ${#sign_pin[@]} -eq 0 ] || export UPDATE_SIGN_PIN="${sign_pin[0]}"
  [ -z "$trace" ] || set -x
  "$here/scripts/sign.sh" -n "$product_name" ${sign_options[@]+"${sign_options[@]}"} "$sign_cert" "$sign_key" \
    "$build_dir/update.exe" "$output"
  echo "built and signed $output"
else
  # Moved beside the output, then into place: the output is the old file or the whole new one. The
  # installer is not copied (at the largest packages that would take as long as the rest of the
  # build); the next build links it again. The name beside is made by mktemp (a name guessed from
  # the process number may be taken, or a link).
  partial="$(mktemp "$(dirname -- "$output")/.$(basename -- "$output").XXXXXX")" ||
    { echo "build.sh: cannot write beside $output" >&2; exit 1; }
  trap 'rm -f "$partial"' EXIT
  mv -f "$build_dir/update.exe" "$partial"
  mv -f "$partial" "$output"
  echo "built $output"
fi
