#!/usr/bin/env python3
"""Squatting: files and folders that someone else put in the shared temporary folder under the names
the program picks for its temporary package files ("MSP1" ... "MSP50") are neither opened nor
changed, and the program still does its work under names of its own; and another program that
watches the temporary folder never gets to change a package file the patch run writes."""
import json
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import run_scenarios, scenario  # noqa: E402
from e2elib.winenv import to_windows  # noqa: E402

SQUATTED = 50
READ_ONLY = "MSP7"
FOLDER = "MSP23"


def squat(t):
    """Plants MSP1..MSP50 (one read-only, one a folder with a file in it); returns a snapshot."""
    temp = t.env.temp_unix
    for n in range(1, SQUATTED + 1):
        name = f"MSP{n}"
        if name == FOLDER:
            (temp / name).mkdir()
            (temp / name / "inside.txt").write_text("a file in someone's folder")
        else:
            (temp / name).write_bytes(f"someone else's file {n}\n".encode())
    (temp / READ_ONLY).chmod(0o444)
    return snapshot(temp)


def snapshot(temp):
    """Content, mode and modification time of every planted entry."""
    state = {}
    for n in range(1, SQUATTED + 1):
        p = temp / f"MSP{n}"
        st = p.stat()
        content = sorted(x.name for x in p.iterdir()) if p.is_dir() else p.read_bytes()
        state[p.name] = (content, st.st_mode, st.st_mtime_ns, st.st_size)
    if (temp / FOLDER).is_dir():
        inner = temp / FOLDER / "inside.txt"
        state["inside"] = (inner.read_bytes(), inner.stat().st_mtime_ns)
    return state


def new_names(t, before):
    return sorted((n for n in t.temp_files() if n not in before), key=lambda n: (len(n), n))


@scenario
def extraction_to_the_temporary_folder_passes_fifty_squatted_names(t):
    product = t.make_product(name="Squatting", version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    langpack = t.not_a_package("langpack.msp")
    exe = t.build_variant(glob, langpack)
    before = squat(t)
    planted = set(before) - {"inside"}

    r = t.run_update(exe, ["/e"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(snapshot(t.env.temp_unix), before, "the squatted entries after the run")
    written = new_names(t, planted)
    t.equal(written, [f"MSP{SQUATTED + 1}", f"MSP{SQUATTED + 2}"], "names of the extracted packages")
    t.same_bytes(t.env.temp_unix / written[0], glob, "global package")
    t.same_bytes(t.env.temp_unix / written[1], langpack, "language-pack package")


@scenario
def patch_run_passes_fifty_squatted_names(t):
    product = t.install_product(name="Squatted Temp", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    before = squat(t)
    planted = set(before) - {"inside"}

    r = t.run_update(exe, ["/q"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    t.equal(t.installed_payload(product), "payload 1.1.0.0\n", "installed file after the run")
    t.equal(snapshot(t.env.temp_unix), before, "the squatted entries after the run")
    # The run's own package file is gone; only the installer's log is new.
    t.equal(new_names(t, planted), ["Squatted Temp R2.log"], "new entries in the temporary folder")


@scenario
def another_program_never_changes_the_package_being_applied(t):
    # On Windows the run's working folder keeps every other program out; Wine does not enforce its
    # security descriptor, so here only the sharing of the held file and the comparison stand in
    # the way: a package file can be overwritten only before its hold (the run then finds the
    # change, or the other program's handle, and installs nothing) or after the installer is done
    # with it.
    product = t.install_product(name="Watched Temp", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    foreign, _ = t.make_upgrade_patch(product, "6.6.6.6")
    exe = t.build_variant(patch)
    files = {n: t.path(f"tamper/{n}") for n in ("ready", "stop", "report.json", "output.txt", "run.log")}
    output = open(files["output.txt"], "wb")
    tamper = subprocess.Popen(
        ["wine", str(t.tool("tamper")), "--watch", t.env.temp_win.rstrip("\\"), "--with", to_windows(foreign),
         "--ready", to_windows(files["ready"]), "--stop", to_windows(files["stop"]),
         "--out", to_windows(files["report.json"])],
        env=t.env.env(True), stdin=subprocess.DEVNULL, stdout=output, stderr=output)
    output.close()
    try:
        for _ in range(300):
            if files["ready"].is_file() or tamper.poll() is not None:
                break
            time.sleep(0.1)
        t.check(files["ready"].is_file(), "the watching program is ready")
        r = t.run_update(exe, ["/quiet", "/log", to_windows(files["run.log"])], expect_boxes=0)
    finally:
        files["stop"].write_text("stop")
        tamper.wait(timeout=30)
    report = json.loads(files["report.json"].read_text())
    log = files["run.log"].read_text(encoding="utf-8-sig").splitlines()
    t.check(report["seen"], f"the watching program saw no package file: {report}")
    t.equal(r.new_temp_files, [], "new entries in the temporary folder: the working folder is gone")
    if r.exit_code == 0:
        t.equal(t.product_version(product.code), "1.1.0.0", "version after the run: the carried patch")
        done = [line[11:23] for line in log if " returned 0 after " in line]
        t.equal(len(done), 1, "configure calls")
        early = [o for o in report["overwritten"] if o[1] < done[0]]
        t.equal(early, [], f"package files overwritten before the configure call returned at {done[0]}")
    else:
        # Changed (1392), or still open for writing (32, sharing violation) when the hold was taken.
        t.check(r.exit_code in (1392, 32), f"exit code {r.exit_code} of a run whose package was taken ({report})")
        t.equal(t.product_version(product.code), "1.0.0.0", "version after a run that found its package changed")
        t.check(not any("Configure call" in line for line in log), "no configure call after the change was found")


if __name__ == "__main__":
    sys.exit(run_scenarios())
