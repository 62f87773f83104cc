#!/usr/bin/env bash
# The sample run: builds a sample product and a patch for it, builds update.exe
# carrying that patch, installs the product into a private Wine prefix and runs
# the installer there, printing what the user would see.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

"$here/scripts/install-deps.sh"

. "$here/scripts/windows-target.sh"
tree="$here/build/sample"
echo "Building update.exe and the test tools (first time: a minute or two) ..."
cmake -S . -B "$tree" -G Ninja --toolchain "$windows_toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$tree" --target update e2e_mkpatch e2e_boxwatch e2e_msiprobe -- -j2 >/dev/null
exec python3 "$here/scripts/sample_run.py" --config "$tree/tests/e2e/e2e-config.json"
