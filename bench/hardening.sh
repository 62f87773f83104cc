#!/usr/bin/env bash
# What the hardening of update.exe costs in size: builds update.exe without packages, 32- and
# 64-bit, as shipped and with each part of the hardening left out in turn, and prints the sizes.
# Takes a minute or two; needs no Wine.
#
#   bench/hardening.sh
#
# The parts: the stack protector (with its runtime), _FORTIFY_SOURCE, and LLVM's linker (which
# brings the load configuration and the CET mark; left out, GNU ld links). Sizes move in whole
# 4 KiB pages, as the sections are page-aligned in the file.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh" --build

size() {
  local arch="$1" leave_out="$2" dir
  dir="build/hard-bench-hardening-$arch-${leave_out:-none}"; dir="${dir//;/-}"
  cmake -S . -B "$dir" -G Ninja --toolchain "cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DUPDATE_GLOBAL_MSP= -DUPDATE_LANGPACK_MSP= -DUPDATE_LEAVE_OUT="$leave_out" --no-warn-unused-cli >/dev/null
  nice cmake --build "$dir" --target update -- -j2 >/dev/null
  stat -c %s "$dir/update.exe"
}

# Each row: the size without that part, and in brackets what the part costs (negative: it saves).
declare -A shipped
for arch in i686 x86_64; do shipped[$arch]="$(size "$arch" "")"; done
printf '%-40s %20s %20s\n' "update.exe without packages, bytes" "i686" "x64"
printf '%-40s %20s %20s\n' "as shipped" "${shipped[i686]}" "${shipped[x86_64]}"
for part in stack-protector fortify lld "stack-protector;fortify;lld"; do
  row=()
  for arch in i686 x86_64; do
    bytes="$(size "$arch" "$part")"
    row+=("$bytes ($(printf '%+d' $((shipped[$arch] - bytes))))")
  done
  printf '%-40s %20s %20s\n' "without ${part//;/, }" "${row[@]}"
done
