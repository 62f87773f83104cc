#!/usr/bin/env bash
# The build of an installer from the largest package build.sh accepts: time and peak memory of
# ./build.sh against a plain copy of the same package (bench/run.sh --build). No Wine; needs the
# package's size four times over on disk (package, copy, the build's resource and image) and
# takes a few minutes.
#
#   bench/build_cost.sh [--x64] [--size-mib MIB]
#
# The package is random bytes, as a compressed package is (zeros would hide a cost per byte), of
# 1791 MiB (2047 MiB with --x64, the 64-bit build's ceiling) unless --size-mib says otherwise; the
# checks find no package in it, so the build runs with --force. The tree build/bench-build is
# first built with a small package, so that the figures are those of the package: the checks,
# the resource, the link, the checksum and the copy to the output. Peak memory is that of the
# largest process (GNU time's maximum resident set). The goals: peak memory at most the package's
# size plus 1 GiB, time at most 3 times the copy's (each until its bytes are on the disk).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
x64=() size_mib=1791 tree="$root/build/bench-build"
while [ $# -gt 0 ]; do
  case "$1" in
    --x64) x64=(--x64); size_mib=2047; tree="$root/build/bench-build-x64"; shift ;;
    --size-mib) size_mib="${2:?--size-mib needs a number}"; shift 2 ;;
    *) sed -n '7p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done
"$root/scripts/install-deps.sh" --build
[ -x /usr/bin/time ] || { echo "build_cost.sh: GNU time (/usr/bin/time) is missing" >&2; exit 1; }

mkdir -p "$root/build"
work="$(mktemp -d "$root/build/bench-build-work.XXXXXX")"
trap 'rm -rf "$work"' EXIT
echo "warming the tree $tree with a small package ..." >&2
head -c 65536 /dev/urandom >"$work/small.msp"
"$root/build.sh" "${x64[@]}" --force --global "$work/small.msp" --build-dir "$tree" -o "$work/small.exe" \
  >/dev/null 2>&1
echo "writing $size_mib MiB of random bytes ..." >&2
head -c "$((size_mib << 20))" /dev/urandom >"$work/package.msp"

# measure NAME COMMAND...: writes "seconds peak-KiB" of the command, which must succeed, to NAME.time.
# Each starts with nothing left to write to the disk and ends when what it wrote is there (sync):
# a copy's time is then its bytes on the disk, not in the page cache.
measure() {
  local name="$1"
  shift
  sync
  if ! /usr/bin/time -f '%e %M' -o "$work/$name.time" bash -c '"$@" && sync' measure "$@" >"$work/$name.log" 2>&1; then
    cat "$work/$name.log" >&2
    echo "build_cost.sh: $name failed" >&2
    exit 1
  fi
}
measure copy cp "$work/package.msp" "$work/copy.msp"
rm -f "$work/copy.msp"
measure build "$root/build.sh" "${x64[@]}" --force --global "$work/package.msp" --build-dir "$tree" -o "$work/update.exe"
read -r copy_s copy_kib <"$work/copy.time"
read -r build_s build_kib <"$work/build.time"
[ "$(stat -c %s "$work/update.exe")" -gt "$((size_mib << 20))" ] ||
  { echo "build_cost.sh: the installer is smaller than its package" >&2; exit 1; }
awk -v mib="$size_mib" -v cs="$copy_s" -v ck="$copy_kib" -v bs="$build_s" -v bk="$build_kib" \
    -v what="./build.sh ${x64[*]:+${x64[*]} }--force --global it" 'BEGIN {
  printf "%-44s %10s %12s\n", mib " MiB package of random bytes", "time, s", "peak, MiB"
  printf "%-44s %10.1f %12.0f\n", "plain copy (cp)", cs, ck / 1024
  printf "%-44s %10.1f %12.0f\n", what, bs, bk / 1024
  printf "goal: peak memory at most %d MiB (the package + 1 GiB): %s\n", mib + 1024, \
    (bk / 1024 <= mib + 1024 ? "met" : "NOT met")
  printf "goal: time at most 3 times the copy: %.1f times: %s\n", bs / cs, (bs <= 3 * cs ? "met" : "NOT met")
}'
