#!/usr/bin/env python3
"""Squatting: files and folders that someone else put in the shared temporary folder under the names
the program picks for its temporary package files ("MSP1" ... "MSP50") are neither opened nor
changed, and the program still does its work under names of its own; another program that
watches the temporary folders never gets to change a package file the patch run writes; a
temporary folder named through a link that another program retargets decides nothing; and one
that is missing below a link is never made."""
import json
import os
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import run_scenarios, scenario, temporary_folder  # noqa: E402
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


def carried_and_foreign_patch(t, name):
    """A product at 1.0.0.0, an installer carrying its patch to 1.1.0.0, and another program's patch
    of the same product, to 6.6.6.6."""
    product = t.install_product(name=name, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    foreign, _ = t.make_upgrade_patch(product, "6.6.6.6")
    return product, t.build_variant(patch), foreign


@scenario
def another_program_never_changes_the_package_being_applied(t):
    # On Windows the run's working folder keeps every other program out; Wine does not enforce its
    # security descriptor, so here only the sharing of the held file and the comparison stand in
    # the way: a package file can be overwritten only before its hold (the run then finds the
    # change, or the other program's handle, and installs nothing) or after the installer is done
    # with it. Elevated (always, by the manifest), the working folder is in the system's
    # temporary folder, which is watched.
    product, exe, foreign = carried_and_foreign_patch(t, "Watched Temp")
    system_temp = t.env.drive_c() / "windows" / "temp"
    system_before = sorted(os.listdir(system_temp))
    files = {n: t.path(f"tamper/{n}") for n in ("ready", "stop", "report.json", "output.txt", "run.log")}
    output = open(files["output.txt"], "wb")
    tamper = subprocess.Popen(
        ["wine", str(t.tool("tamper")), "--watch", "C:\\windows\\temp", "--with", to_windows(foreign),
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
    t.equal(r.new_temp_files, [], "new entries in the user's temporary folder")
    t.equal(sorted(os.listdir(system_temp)), system_before, "entries in the system's temporary folder: the working folder is gone")
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


@scenario
def a_temporary_folder_through_a_retargeted_link_decides_nothing(t):
    # The attack of an unelevated program of the same user: it sets the user's TMP and TEMP to a
    # link it owns and retargets the link the moment a package file of the run appears, to a
    # folder of its own that holds its patch under the same relative path and, under the product
    # log's name, a link to another file. The run makes its working folder in the system's
    # temporary folder, and no log goes through the link: the carried patch is applied (or the
    # run fails safe), and the other file is never written.
    product, exe, foreign = carried_and_foreign_patch(t, "Linked Temp")
    base, win_base = t.c_drive(f"e2e-{t.name}")
    good, evil, link = base / "good", base / "evil", base / "temp"
    good.mkdir(parents=True)
    evil.mkdir()
    victim = base / "victim.txt"
    victim.write_text("not a log\n")
    (evil / "Linked Temp R2.log").symlink_to(victim)
    link.symlink_to(good)
    system_temp = t.env.drive_c() / "windows" / "temp"
    system_before = set(os.listdir(system_temp))

    stop, retargeted, mirrored = threading.Event(), [], set()

    def retarget():
        (base / "temp.new").symlink_to(evil)
        os.replace(base / "temp.new", link)
        retargeted.append(time.time())

    def attacker():
        # As fast as it can: a working folder made under the link gets the same path in the other
        # folder, with the other patch under every package name; the first package file of the
        # run, wherever it is, turns the link.
        while not stop.is_set() and not retargeted:
            for name in os.listdir(good):
                if name not in mirrored and (good / name).is_dir():
                    (evil / name).mkdir()
                    for n in range(1, 5):
                        shutil.copy(foreign, evil / name / f"MSP{n}")
                    mirrored.add(name)
                if name in mirrored and os.listdir(good / name):
                    retarget()
            for name in set(os.listdir(system_temp)) - system_before:
                if not retargeted and (system_temp / name).is_dir() and os.listdir(system_temp / name):
                    retarget()
            time.sleep(0)

    watcher = threading.Thread(target=attacker, daemon=True)
    with temporary_folder(t, win_base + "\\temp"):
        watcher.start()
        try:
            r = t.run_update(exe, ["/quiet"], expect_boxes=0)
        finally:
            stop.set()
            watcher.join(timeout=10)
    t.check(retargeted, "the other program retargeted the link")
    version = t.product_version(product.code)
    if r.exit_code == 0:
        t.equal(version, "1.1.0.0", "version after the run: the carried patch")
    else:
        t.equal(version, "1.0.0.0", f"version after a run that failed with {r.exit_code}")
    t.equal(victim.read_text(), "not a log\n", "the file the planted log link leads to")
    t.equal(sorted(p.name for p in good.iterdir()), [], "entries written into the first target of the link")
    t.equal(sorted(p.name for p in evil.iterdir()), ["Linked Temp R2.log"], "entries written into the other")
    # Both logs went to the system's temporary folder instead (what the own log says of it is the
    # unit tests'); the working folder is gone.
    written = sorted(set(os.listdir(system_temp)) - system_before)
    own = [n for n in written if n != "Linked Temp R2.log"]
    t.equal(len(own), 1, f"the own log and the product log in the system's temporary folder: {written}")
    t.check((system_temp / "Linked Temp R2.log").is_file(), f"the product log in the system's temporary folder: {written}")
    for name in written:
        (system_temp / name).unlink()


@scenario
def a_temporary_folder_below_a_link_is_never_made(t):
    # The user's TEMP and TMP name a folder that does not exist, below a link the user owns inside
    # the user's profile. Elevated, the run makes nothing there (the folder would be made where the
    # link leads: a step to code run as administrator), neither for the check nor for the patch run,
    # and the carried patch is applied with the logs in the system's temporary folder.
    product = t.install_product(name="Missing Temp", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    target, _ = t.c_drive(f"e2e-{t.name}-target")
    target.mkdir(parents=True)
    link, win_link = t.in_profile(f"e2e-{t.name}")
    link.symlink_to(target)
    system_temp = t.env.drive_c() / "windows" / "temp"
    system_before = set(os.listdir(system_temp))
    try:
        with temporary_folder(t, win_link + "\\New"):
            t.run_update(exe, ["/check"], expect_boxes=0)
            t.equal(t.product_version(product.code), "1.0.0.0", "version after the check")
            t.equal(sorted(os.listdir(target)), [], "entries made where the link leads, by the check")
            r = t.run_update(exe, ["/q"], expect_boxes=0)
    finally:
        link.unlink()
    t.equal(r.exit_code, 0, "exit code")
    t.equal(sorted(os.listdir(target)), [], "entries made where the link leads, by the patch run")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run: the carried patch")
    written = sorted(set(os.listdir(system_temp)) - system_before)
    t.check("Missing Temp R2.log" in written, f"the product log in the system's temporary folder: {written}")
    for name in written:
        (system_temp / name).unlink()

if __name__ == "__main__":
    sys.exit(run_scenarios())
