#!/usr/bin/env bash
# Captures the message boxes of end-to-end scenarios as PNG files, e.g. for the documentation.
#
#   tests/e2e/screenshot.sh SCENARIO_FILE [-k NAME_PART] [-o OUT_DIR] [--config FILE]
#
#   SCENARIO_FILE  a file of tests/e2e/scenarios, with or without folder and ".py"
#   -k             only the scenarios whose name contains NAME_PART
#   -o             where the pictures go (default: screenshots/ in the current folder);
#                  one folder per scenario, one PNG per box: run<N>-box<M>.png
#   --config       e2e-config.json of the Windows build tree
#                  (default: build/windows/tests/e2e/e2e-config.json)
#
# The Windows tree must be built (./test.sh or cmake --build build/windows). The scenarios run in
# a Wine environment of their own on a virtual display; the watcher holds each box open until
# imagemagick's `import` has taken it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

usage() {
  sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

scenario=""
filter=()
out="screenshots"
config="$root/build/windows/tests/e2e/e2e-config.json"
while [ $# -gt 0 ]; do
  case "$1" in
    -k) filter=(-k "${2:?-k needs a name part}"); shift 2 ;;
    -o) out="${2:?-o needs a folder}"; shift 2 ;;
    --config) config="${2:?--config needs a file}"; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "screenshot.sh: unknown option: $1" >&2; usage ;;
    *) [ -z "$scenario" ] || usage; scenario="$1"; shift ;;
  esac
done
[ -n "$scenario" ] || usage
scenario="$(basename "$scenario" .py)"
script="$here/scenarios/$scenario.py"
[ -f "$script" ] || { echo "screenshot.sh: no scenario file $script" >&2; exit 1; }
[ -f "$config" ] || { echo "screenshot.sh: no $config; build the Windows tree first" >&2; exit 1; }
[ -x /usr/bin/import ] || { echo "screenshot.sh: imagemagick's import is missing" >&2; exit 1; }

mkdir -p "$out"
out="$(cd "$out" && pwd)"
# Wine's loader chosen as for every run of Wine (scripts/windows-target.sh).
E2E_SHOTS="$out" "$root/scripts/windows-target.sh" --quiet python3 "$script" --config "$config" "${filter[@]}"
find "$out" -name '*.png' | sort
