#!/usr/bin/env python3
"""Temporary package files never take over a file that is already in the shared temporary folder."""
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import run_scenarios, scenario  # noqa: E402


@scenario
def planted_files_are_neither_opened_nor_changed(t):
    product = t.make_product(name="Temporary Names", version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    langpack = t.not_a_package("langpack.msp")
    exe = t.build_variant(glob, langpack)

    # Someone else's files under the first names the program would pick, one of them read-only.
    temp = t.env.temp_unix
    planted = {f"MSP{n}": f"planted {n}".encode() for n in range(1, 4)}
    for name, data in planted.items():
        (temp / name).write_bytes(data)
    (temp / "MSP2").chmod(0o444)

    r = t.run_update(exe, ["/e"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    for name, data in planted.items():
        t.equal((temp / name).read_bytes(), data, f"planted {name}")
    written = sorted(set(t.temp_files()) - set(planted), key=lambda n: int(n[3:]))
    t.equal(written, ["MSP4", "MSP5"], "names of the extracted packages")
    t.same_bytes(temp / "MSP4", glob, "global package")
    t.same_bytes(temp / "MSP5", langpack, "language-pack package")


if __name__ == "__main__":
    sys.exit(run_scenarios())
