#!/usr/bin/env bash
# Installs the tools with apt-get when any is missing.
#
#   scripts/install-deps.sh [--build] [--sign]
#
# --build: only what building an installer needs (build.sh): the MinGW compilers, LLVM's linker,
# CMake, Ninja and Python with olefile; --sign adds the signing tools (build.sh --sign,
# scripts/sign.sh). Without options: everything, for the tests, the sample run and the benchmark
# as well (native compilers, GoogleTest, Wine, Xvfb, msitools and the rest).
# Safe to run repeatedly: it does nothing when everything is already there.
set -euo pipefail

build_only="" sign=""
for option in "$@"; do
  case "$option" in
    --build) build_only=1 ;;
    --sign) sign=1 ;;
    *) echo "install-deps.sh: unknown option: $option (--build, --sign)" >&2; exit 2 ;;
  esac
done
[ -n "$build_only" ] || sign=1

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Building an installer.
have cmake                      || need+=(cmake)
have ninja                      || need+=(ninja-build)
have i686-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-i686-win32)
have x86_64-w64-mingw32-g++-win32 || need+=(g++-mingw-w64-x86-64-win32)
have ld.lld                     || need+=(lld)
[ -x /usr/bin/python3 ]         || need+=(python3)
# The package checks read the compound-file container with Debian's olefile, so they run with
# the system's Python (/usr/bin/python3), whichever python3 comes first on PATH.
/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1 || need+=(python3-olefile)

# Signing: the tools, the system's trusted roots the chain is verified against, and OpenSSL's
# PKCS#11 engine for a key kept in a token or HSM.
if [ -n "$sign" ]; then
  have osslsigncode               || need+=(osslsigncode)
  have openssl                    || need+=(openssl)
  [ -f /etc/ssl/certs/ca-certificates.crt ] || need+=(ca-certificates)
  pkg_installed libengine-pkcs11-openssl || need+=(libengine-pkcs11-openssl)
fi

want=()
# The tests, the sample run and the benchmark.
if [ -z "$build_only" ]; then
  have g++                        || need+=(g++)
  [ -d /usr/src/googletest ]      || need+=(libgtest-dev)
  have clang++                    || need+=(clang)
  pkg_installed libclang-rt-14-dev || need+=(libclang-rt-14-dev)
  have msiinfo                    || need+=(msitools)
  have wixl                       || need+=(wixl)
  [ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || need+=(fonts-wqy-microhei)
  have faketime                   || need+=(faketime)
  have gcab                       || need+=(gcab)
  have Xvfb                       || need+=(xvfb)
  pkg_installed imagemagick       || need+=(imagemagick)
  # The software token and the token tool that the signing tests use.
  have softhsm2-util              || need+=(softhsm2)
  have pkcs11-tool                || need+=(opensc)
  [ -x /usr/bin/time ]            || need+=(time)
  have wine                       || need+=(wine wine64)
  # Wine's 32-bit part is wanted, not needed: without it the Windows tests run the 64-bit build.
  # Only where this kernel starts 32-bit programs (else it would never run), and, once it could
  # not be installed, not again for a day, as root's marker says (scripts/windows-target.sh);
  # what the marker does is said on every run.
  windows_target_functions_only=1 . "$(dirname "${BASH_SOURCE[0]}")/windows-target.sh"
  if ! pkg_installed wine32:i386 && { kernel_runs_32bit || [ $? -eq 2 ]; }; then
    if wine32_marker_says_failed; then
      echo "note: $wine32_marker_note" >&2
    else
      [ ! -e "$wine32_marker" ] && [ ! -L "$wine32_marker" ] || echo "note: $wine32_marker_note" >&2
      want+=(wine32:i386)
    fi
  fi
fi

if [ ${#need[@]} -eq 0 ] && [ ${#want[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

if [ ${#want[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "installing: ${need[*]} ${want[*]}" >&2
# A mirror that is being synchronised fails some of its indexes; what the others list is still
# installable, so a failed update is reported and the installation tried all the same.
$SUDO apt-get update -qq || echo "note: apt-get update failed for some indexes; trying with what it has" >&2
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ ${#want[@]} -gt 0 ] &&
   ! $SUDO apt-get install -y -qq --no-install-recommends "${want[@]}" >/dev/null 2>&1; then
  echo "note: ${want[*]} cannot be installed here now; the Windows tests run the 64-bit build" >&2
  # Remembered in a folder and a file that only root can write, replaced whole (never written through a link).
  $SUDO sh -c 'umask 022 && folder="$(dirname "$1")" && mkdir -p "$folder" && [ ! -L "$folder" ] &&
    chown root:root "$folder" && chmod 0755 "$folder" && new="$(mktemp "$folder/.marker.XXXXXX")" &&
    chmod 0644 "$new" && mv -f "$new" "$1"' sh "$wine32_marker" ||
    echo "note: could not write $wine32_marker: it is tried again on the next run" >&2
fi
