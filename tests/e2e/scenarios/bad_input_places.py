#!/usr/bin/env python3
"""Bad places: extraction (/e) into folders and onto files that cannot be written, an executable
that carries no package, and temporary folders that are missing, cannot be written, or are at and
past the length limits, for extraction and for install mode. Each ends with its defined outcome:
exit code 0, the expected box (none for extraction), nothing written where it cannot be, no
temporary package file left, and the installed product as it was unless it is to be patched."""
import contextlib
import os
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
HERE = Path(__file__).resolve().parent
from e2elib.catalogue import ENGLISH, USER_ENGLISH, error_code_shown, message_box  # noqa: E402
from e2elib.scenario import Skip, run_scenarios, scenario, temporary_folder  # noqa: E402


MAX_PATH_CHARS = 259  # longest full name of a package file, without the terminator


def two_packages(t):
    main = t.make_product(name="Bad Input Main", version="1.0.0.0")
    lp = t.make_product(name="Bad Input Language", language=1031, version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(main, "1.0.1.0", change_file=False)
    langpack, _ = t.make_upgrade_patch(lp, "1.0.1.0", change_file=False)
    return glob, langpack


def tree(folder):
    """Every entry below a folder with its content (None for a folder)."""
    folder = Path(folder)
    if not folder.exists():
        return None
    return {str(p.relative_to(folder)): (None if p.is_dir() else p.read_bytes()) for p in sorted(folder.rglob("*"))}


@contextlib.contextmanager
def unchangeable(path):
    """Makes a file or folder that even root cannot change (the tests run as root, for whom Wine
    writes read-only files like any other), as Windows treats a read-only file."""
    path.chmod(0o555 if path.is_dir() else 0o444)
    if os.geteuid() == 0:
        r = subprocess.run(["chattr", "+i", str(path)], capture_output=True, text=True)
        if r.returncode != 0:
            raise Skip(f"cannot make {path} unchangeable for root: {r.stderr.strip()}")
    try:
        yield path
    finally:
        if os.geteuid() == 0:
            subprocess.run(["chattr", "-i", str(path)], capture_output=True)
        path.chmod(0o755 if path.is_dir() else 0o644)


def temp_of_length(t, length):
    """A folder in the user's profile (where an elevated run uses the user's temporary folder) whose
    Windows path has `length` characters, made on the disk."""
    profile_unix, profile = t.in_profile("t")
    components, remaining = [], length - len(profile) + 1
    while remaining > 200:
        part = min(200, remaining - 2)
        components.append("t" * part)
        remaining -= part + 1
    components.append("t" * remaining)
    win = profile[:-1] + "\\".join(components)
    unix = profile_unix.parent.joinpath(*components)
    unix.mkdir(parents=True, exist_ok=True)
    return unix, win


def expect_nothing_shown(t, r, what):
    t.equal(r.exit_code, 0, f"exit code ({what})")
    t.equal(r.boxes, [], f"boxes ({what})")
    t.equal(r.new_temp_files, [], f"files left in the temporary folder ({what})")
    stray = sorted(p.name for p in t.env.drive_c().iterdir() if p.name.upper().startswith("MSP"))
    t.equal(stray, [], f"package files at the root of drive C: ({what})")


@scenario
def extraction_into_a_missing_folder_writes_nothing(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)
    base, win_base = t.c_drive(f"e2e-{t.name}")
    base.mkdir(parents=True)
    for target in (win_base + "\\missing\\pkg.msp", win_base + "\\missing\\deeper\\pkg.msp", "Q:\\pkg.msp"):
        r = t.run_update(exe, ["/e", target], expect_boxes=0)
        expect_nothing_shown(t, r, target)
        t.equal(tree(base), {}, f"files written for {target}")


@scenario
def extraction_onto_a_read_only_file_leaves_it_and_writes_the_other(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    kept = folder / "pkg_glob.msp"
    kept.write_bytes(b"a read-only file of the user")
    with unchangeable(kept):
        r = t.run_update(exe, ["/e", win_folder + "\\pkg.msp"], expect_boxes=0)
    expect_nothing_shown(t, r, "read-only pkg_glob.msp")
    t.equal(kept.read_bytes(), b"a read-only file of the user", "the read-only file")
    t.same_bytes(folder / "pkg_lp.msp", langpack, "pkg_lp.msp, written all the same")

    # A folder under the name a package would get: it stays as it was, the other is written.
    (folder / "pkg_lp.msp").unlink()
    kept.unlink()
    (folder / "pkg_lp.msp").mkdir()
    (folder / "pkg_lp.msp" / "inside.txt").write_text("mine")
    r = t.run_update(exe, ["/e", win_folder + "\\pkg.msp"], expect_boxes=0)
    expect_nothing_shown(t, r, "a folder named pkg_lp.msp")
    t.equal(tree(folder / "pkg_lp.msp"), {"inside.txt": b"mine"}, "the folder named pkg_lp.msp")
    t.same_bytes(folder / "pkg_glob.msp", glob, "pkg_glob.msp, written all the same")

    # A folder in which nothing may be created.
    locked = folder / "locked"
    locked.mkdir()
    with unchangeable(locked):
        r = t.run_update(exe, ["/e", win_folder + "\\locked\\pkg.msp"], expect_boxes=0)
    expect_nothing_shown(t, r, "a folder that cannot be written")
    t.equal(tree(locked), {}, "files in the folder that cannot be written")


@scenario
def executable_without_packages_extracts_nothing(t):
    exe = t.build_variant()
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    for args in (["/e", win_folder + "\\pkg.msp"], ["/e"], ["/q", "/e"], ["/e", win_folder + "\\pkg.msp", "/pi"]):
        r = t.run_update(exe, args, expect_boxes=0)
        expect_nothing_shown(t, r, " ".join(args))
        t.equal(tree(folder), {}, f"files written by {' '.join(args)}")


@scenario
def temporary_folder_at_and_past_the_length_limits(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)

    # The longest folder whose package names ("MSP1", "MSP2") still fit: both are written.
    longest = MAX_PATH_CHARS - len("\\MSP1")
    unix, win = temp_of_length(t, longest)
    t.equal(len(win), longest, "length of the temporary folder")
    with temporary_folder(t, win):
        r = t.run_update(exe, ["/e"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code with the longest temporary folder")
    written = sorted(p.name for p in unix.iterdir())
    t.equal(written, ["MSP1", "MSP2"], "packages in the longest temporary folder")
    t.same_bytes(unix / "MSP1", glob, "global package")
    t.same_bytes(unix / "MSP2", langpack, "language-pack package")

    # One character more, far more, and past what the system's buffer holds: nothing is written,
    # nothing is shown, the program ends normally.
    for length in (longest + 1, 300, 1023, 1024, 1100, 4000):
        unix, win = temp_of_length(t, length)
        with temporary_folder(t, win):
            r = t.run_update(exe, ["/e"], expect_boxes=0)
        expect_nothing_shown(t, r, f"temporary folder of {length} characters")
        t.equal(tree(unix), {}, f"files in a temporary folder of {length} characters")


@scenario
def unwritable_temporary_folder_extracts_nothing(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)
    base, win_base = t.c_drive(f"e2e-{t.name}")
    base.mkdir(parents=True)
    (base / "a-file").write_text("not a folder")
    locked = base / "locked"
    locked.mkdir()

    cases = [("a folder that does not exist", win_base + "\\missing"),
             ("a file", win_base + "\\a-file"),
             ("a drive that does not exist", "Q:\\temp")]
    for what, win in cases:
        with temporary_folder(t, win):
            r = t.run_update(exe, ["/e"], expect_boxes=0)
        expect_nothing_shown(t, r, what)
    with unchangeable(locked), temporary_folder(t, win_base + "\\locked"):
        r = t.run_update(exe, ["/e"], expect_boxes=0)
    expect_nothing_shown(t, r, "a folder that cannot be written")
    t.equal(tree(base), {"a-file": b"not a folder", "locked": None}, "what the scenario's folder holds")


@scenario
def install_mode_with_a_long_temporary_folder(t):
    # Room for the run's working folder and its package file, not for the whole log name
    # "<folder>\\<name> R2.log": the name is shortened so that the log path has 259 characters, the
    # patch is applied, and the working folder is gone afterwards.
    name = "A Product Whose Log Finds No Room Left"
    product = t.install_product(name=name, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    unix, win = temp_of_length(t, MAX_PATH_CHARS - len("\\" + "w" * 26 + "\\MSP1"))
    t.check(len(win) + len(f"\\{name} R2.log") > MAX_PATH_CHARS, "the log path would fit")
    with temporary_folder(t, win):
        r = t.run_update(t.build_variant(patch), [], extra_env=USER_ENGLISH, expect_boxes=[
            message_box(ENGLISH, 301, name)])
    t.equal(r.exit_code, 0, "exit code")
    left = tree(unix)
    t.equal(len(left), 1, f"files left in the temporary folder: {sorted(left)}")
    log = next(iter(left), "")
    t.check(log.endswith(" R2.log") and name.startswith(log[:-len(" R2.log")]), f"log name: {log}")
    t.equal(len(win.rstrip("\\") + "\\" + log), MAX_PATH_CHARS, f"length of the log path of {log}")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")

    # Longer: Wine's Windows Installer keeps files of its own in the temporary folder and can no
    # longer open the package: message 300 with the reason, nothing installed, nothing left behind.
    # Longer still, Wine gives programs another temporary folder, and the run's working folder is
    # the system's anyway (elevated): the patch is applied.
    for length, applied in ((250, False), (300, True), (1100, True)):
        name = f"No Room {length}"
        product = t.install_product(name=name, version="1.0.0.0")
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
        unix, win = temp_of_length(t, length)
        with temporary_folder(t, win):
            r = t.run_update(t.build_variant(patch), [], expect_boxes=1, extra_env=USER_ENGLISH)
        t.equal(r.exit_code, 0, f"exit code (temporary folder of {length} characters)")
        if applied:
            t.expect_boxes(r, [message_box(ENGLISH, 301, name)])
        else:
            code = error_code_shown(r.boxes[0])
            t.check(code not in (None, 0), f"temporary folder of {length} characters: expected message 300 with an "
                    f"error code, saw {r.boxes[0]}")
        # With room for one character of the name the configure call still gets its log.
        logs = {"N R2.log"} if length + 1 + len("N R2.log") <= MAX_PATH_CHARS else set()
        t.check(set(tree(unix)) <= logs, f"files in the temporary folder of {length} characters: {tree(unix)}")
        t.equal(t.product_version(product.code), "1.1.0.0" if applied else "1.0.0.0",
                f"version after the run ({length} characters)")


@scenario
def install_mode_with_an_unwritable_temporary_folder(t):
    # A folder that cannot be written keeps Wine's Windows Installer from opening the package; one
    # that does not exist is never made (elevated): the logs and Windows Installer's own files go to
    # the system's temporary folder, and the run's working folder is the system's anyway.
    base, win_base = t.in_profile(f"e2e-{t.name}")
    locked = base / "locked"
    locked.mkdir(parents=True)
    for what, win, lock in (("a folder that cannot be written", win_base + "\\locked", True),
                            ("a folder that does not exist", win_base + "\\missing", False)):
        name = f"Locked Out {int(lock)}"
        product = t.install_product(name=name, version="1.0.0.0")
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
        with contextlib.ExitStack() as stack:
            if lock:
                stack.enter_context(unchangeable(locked))
            stack.enter_context(temporary_folder(t, win))
            r = t.run_update(t.build_variant(patch), [], expect_boxes=1, extra_env=USER_ENGLISH)
        t.equal(r.exit_code, 0, f"exit code ({what})")
        if lock:
            code = error_code_shown(r.boxes[0])
            t.check(code not in (None, 0), f"{what}: expected message 300 with an error code, saw {r.boxes[0]}")
        else:
            t.expect_boxes(r, [message_box(ENGLISH, 301, name)])
        t.equal(t.product_version(product.code), "1.0.0.0" if lock else "1.1.0.0", f"version after the run ({what})")
    t.equal(sorted(tree(base)), ["locked"], "what the scenario's folder holds: the missing one is not made")
    system_log = t.env.drive_c() / "windows" / "temp" / "Locked Out 0 R2.log"
    t.check(system_log.is_file(), "the product log in the system's temporary folder")
    system_log.unlink()


if __name__ == "__main__":
    sys.exit(run_scenarios())
