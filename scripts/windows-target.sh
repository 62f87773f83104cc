# Sourced by the scripts that run the Windows build under Wine. Chooses the
# Windows build that this machine can run and sets `windows_toolchain` (a path
# relative to the source tree) and `windows_build` (its name): the 32-bit build
# where the kernel runs 32-bit programs, else the 64-bit one, with Wine's 64-bit
# loader put first on PATH when Wine's 32-bit loader is installed but cannot
# start. Where both run, `windows_other_toolchain` names the 64-bit build too.
wine32_loader=/usr/lib/wine/wine
windows_other_toolchain=""
if [ -x "$wine32_loader" ] && "$wine32_loader" --version >/dev/null 2>&1; then
  windows_toolchain=cmake/mingw-i686.cmake
  windows_build=32-bit
  windows_other_toolchain=cmake/mingw-x86_64.cmake
else
  windows_toolchain=cmake/mingw-x86_64.cmake
  windows_build=64-bit
  if [ -e "$wine32_loader" ]; then
    PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-launcher:$PATH"
    export PATH
  fi
  echo "note: this machine cannot run 32-bit programs; the Windows tests run the 64-bit build" >&2
fi
