#!/usr/bin/env bash
# Runs the fuzz targets for as long as asked, one after another, at low
# priority, each keeping its corpus between runs.
#
#   tests/fuzz/run.sh [-t SECONDS_PER_TARGET] [TARGET...]
#
# Default: 600 seconds for each target. Builds the "sanitize" preset
# (build/hard-sanitize) first. Corpora grow in build/hard-fuzz/corpus/NAME;
# an input that breaks a target is kept as build/hard-fuzz/NAME-crash-*, and
# the script ends with a non-zero code. A summary line per target tells how
# long it ran and how many inputs it tried.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds=600
while getopts "t:h" opt; do
  case "$opt" in
    t) seconds="$OPTARG" ;;
    *) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

cd "$root"
cmake --preset sanitize >/dev/null
nice -n 19 cmake --build build/hard-sanitize -- -j2 >/dev/null
list="build/hard-sanitize/tests/fuzz/targets.txt"
out="$root/build/hard-fuzz"
mkdir -p "$out"

status=0
while read -r name max_len exe; do
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx "$name"; then continue; fi
  mkdir -p "$out/corpus/$name"
  log="$out/$name.log"
  echo "== $name: $seconds s"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
     nice -n 19 "$exe" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=1024 \
       -print_final_stats=1 -artifact_prefix="$out/$name-" \
       "$out/corpus/$name" "$here/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    echo "$name: nothing found in ${took:-?} s, ${runs:-?} inputs, corpus $(ls "$out/corpus/$name" | wc -l) files"
  else
    status=1
    echo "$name: FOUND A FAULT, see $log"
    grep -E "ERROR|property does not hold|runtime error|Test unit written" "$log" | head -5
  fi
done <"$list"
exit $status
