#!/usr/bin/env bash
# Makes the documentation's pictures of the message boxes again, from the current build.
#
#   docs/make-pictures.sh [--config FILE]
#
# Runs the scenarios that show the pictured boxes (they call e2elib/pictures.py) with
# screenshots (tests/e2e/screenshot.sh), copies each pictured box to docs/pictures/NAME.png and
# notes its caption, text and icon in docs/pictures/boxes.json, which the same scenarios compare
# with what the build shows when they run as tests. --config names the e2e-config.json of a
# built Windows tree (default: build/windows/tests/e2e/e2e-config.json).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
config="$root/build/windows/tests/e2e/e2e-config.json"
case "${1:-}" in
  --config) config="${2:?--config needs a file}" ;;
  "") ;;
  *) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac

shots="$(mktemp -d)"
trap 'rm -rf "$shots"' EXIT
# The scenario files, and the part of a name that picks the pictured scenarios from each.
for pictured in "patch_run:" "bad_input_patch_run:template_of_100000" "information_report:report_in_the_readme"; do
  file="${pictured%%:*}" name="${pictured#*:}"
  "$root/tests/e2e/screenshot.sh" "$file" ${name:+-k "$name"} -o "$shots" --config "$config" >/dev/null
done
python3 - "$shots" "$here/pictures" <<'PY'
import json, shutil, sys
from pathlib import Path

shots, dest = Path(sys.argv[1]), Path(sys.argv[2])
dest.mkdir(parents=True, exist_ok=True)
boxes = {}
for line in (shots / "pictures.jsonl").read_text(encoding="utf-8").splitlines():
    entry = json.loads(line)
    name, png = entry.pop("name"), shots / entry.pop("png")
    shutil.copyfile(png, dest / f"{name}.png")
    boxes[name] = entry
    print(f"docs/pictures/{name}.png")
(dest / "boxes.json").write_text(json.dumps(boxes, indent=1, ensure_ascii=False, sort_keys=True) + "\n",
                                 encoding="utf-8")
PY
