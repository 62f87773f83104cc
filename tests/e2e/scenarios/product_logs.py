#!/usr/bin/env python3
"""The verbose Windows Installer log of each patched product, and the outcome when a package run
ends early: a long product name gets its own shortened log, a second product of the same name adds
to the first one's log, a link planted at a log path or an /e target is never written through, and
a product patched before an early end is reported as updated."""
import os
import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from e2elib.catalogue import ENGLISH, USER_ENGLISH, message_box  # noqa: E402
from e2elib.scenario import run_scenarios, scenario  # noqa: E402

SECRET = "someone else's file, not to be written\n"


def box(message, value):
    return message_box(ENGLISH, message, value)


def run(t, exe, args=(), boxes=None):
    r = t.run_update(exe, list(args), expect_boxes=boxes, extra_env=USER_ENGLISH)
    t.equal(r.exit_code, 0, f"exit code of {' '.join(r.command)}")
    return r


def traced_run(t, exe):
    """A quiet run, with Wine's own trace telling which log each configure call was given."""
    r = t.run_update(exe, ["/q"], expect_boxes=0, extra_env=dict(USER_ENGLISH, WINEDEBUG="-all,trace+msi"))
    t.equal(r.exit_code, 0, f"exit code of {' '.join(r.command)}")
    return r


def log_calls(r):
    """(path, attributes) of each MsiEnableLogW call of a run, from Wine's trace; path None: off."""
    calls = []
    for m in re.finditer(r'MsiEnableLogW (\w+), (L"(?:[^"\\]|\\.)*"|\(null\)), (\w+)', r.stderr):
        path = None if m.group(2) == "(null)" else m.group(2)[2:-1].replace("\\\\", "\\")
        calls.append((path, int(m.group(3), 0)))
    return calls


def log_text(path):
    return path.read_bytes().decode("utf-16-le" if path.read_bytes()[1:2] == b"\0" else "latin-1", "replace")


def mentions(t, log, product):
    """The log was written for `product`'s configure call."""
    t.check(log.is_file() and not log.is_symlink(), f"no plain log file at {log}")
    text = log_text(log)
    return product.code.upper() in text.upper()


def planted_secret(t):
    secret, _ = t.c_drive(f"e2e-{t.name}/secret.txt")
    secret.parent.mkdir(parents=True, exist_ok=True)
    secret.write_text(SECRET, encoding="utf-8")
    return secret


@scenario
def long_product_name_gets_its_own_shortened_log(t):
    first = t.install_product(name="Short First", version="1.0.0.0")
    long_name = ("Long Product Name " * 20)[:245]
    second = t.make_product(name="Long Second", version="1.0.0.0")
    t.wine([t.tool("msiprobe"), "setprop", t.windows_path(second.msi), "ProductName", long_name])
    t.install(second)
    upgraded = t.build_msi(first.upgraded("1.1.0.0"))
    patch = t.make_patch(first, upgraded, template=f"{first.code};{second.code}", change_file=False)
    r = traced_run(t, t.build_variant(patch))
    t.equal(t.product_version(first.code), "1.1.0.0", "version of the first product")
    t.equal(len(log_calls(r)), 2, f"log calls: {log_calls(r)}")

    first_log = t.log_file("Short First")
    t.check(mentions(t, first_log, first), "the first product's log is not about it")
    t.check(not mentions(t, first_log, second), "the second product logged into the first one's log")
    # The second log: the name cut so that the whole path has 259 characters.
    logs = [p for p in t.env.temp_unix.iterdir() if p.name.startswith("Long Product Name")]
    t.equal(len(logs), 1, f"logs of the long-named product: {[p.name for p in logs]}")
    windows_path = t.env.temp_win.rstrip("\\") + "\\" + logs[0].name
    t.check(logs[0].name.endswith(" R2.log") and long_name.startswith(logs[0].name[:-len(" R2.log")]),
            f"log name: {logs[0].name}")
    t.equal(len(windows_path), 259, f"length of {windows_path}")
    t.check(mentions(t, logs[0], second), "the long-named product's log is not about it")


@scenario
def second_product_of_the_same_name_adds_to_the_log(t):
    one = t.install_product(name="Twin Product", version="1.0.0.0")
    two = t.install_product(name="Twin Product", version="1.0.0.0")
    upgraded = t.build_msi(one.upgraded("1.1.0.0"))
    patch = t.make_patch(one, upgraded, template=f"{one.code};{two.code}", change_file=False)
    log = t.log_file("Twin Product")
    log.write_text("a log of an earlier run\n", encoding="utf-8")
    r = traced_run(t, t.build_variant(patch))
    # Elevated (always, by the manifest), a file the user made at the log's name (one made from Linux
    # reads as the user's) is not the run's to replace: it stays,
    # and the first call makes the next free name, which the second adds to
    # (INSTALLLOGATTRIBUTES_APPEND). Wine honours the attribute when it opens the log but then writes
    # from its start, so only the calls can be checked here, not the joined file.
    t.equal(log_text(log), "a log of an earlier run\n", "the earlier run's log")
    path = t.env.temp_win.rstrip("\\") + "\\Twin Product R2 (2).log"
    t.equal(log_calls(r), [(path, 1), (path, 1)], "log calls")
    second = t.env.temp_unix / "Twin Product R2 (2).log"
    t.check(mentions(t, second, one) or mentions(t, second, two), "no log of either call")
    t.equal(sorted(n for n in t.temp_files() if n.endswith(".log")), ["Twin Product R2 (2).log", "Twin Product R2.log"],
            "log files")


@scenario
def early_end_after_a_patched_product_reports_the_update(t):
    patched = t.install_product(name="Patched First", version="1.0.0.0")
    newer = t.install_product(name="Newer Second", version="3.0.0.0")
    later = t.install_product(name="Never Reached", version="1.0.0.0")
    upgraded = t.build_msi(patched.upgraded("2.0.0.0"))
    patch = t.make_patch(patched, upgraded, template=f"{patched.code};{newer.code};{later.code}",
                         keywords="2.0.0.0;1.0.0.0,2.0.0.0,3.0.0.0,", change_file=False)
    # The run ends at the second product; the final message names it, as the last one handled.
    run(t, t.build_variant(patch), boxes=[box(301, "Newer Second")])
    t.equal(t.product_version(patched.code), "2.0.0.0", "version of the patched product")
    t.equal(t.product_version(later.code), "1.0.0.0", "version of the product after the early end")
    t.check(not t.log_file("Never Reached").exists(), "the product after the early end was handled")


@scenario
def planted_links_are_never_written_through(t):
    secret = planted_secret(t)
    # At the log path: a symbolic link to someone else's file.
    product = t.install_product(name="Linked Log", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", change_file=False)
    exe = t.build_variant(patch)
    log = t.log_file("Linked Log")
    os.symlink(secret, log)
    r = traced_run(t, exe)
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    t.equal(secret.read_text(encoding="utf-8"), SECRET, "the file the log link led to")
    # Windows deletes a link itself; Wine 8 would delete the file it leads to, so there the link
    # stays and the log goes to the next free name.
    logged = [p for p, _ in log_calls(r)]
    t.equal(len(logged), 1, f"log calls: {log_calls(r)}")
    written = t.env.temp_unix / logged[0].rsplit("\\", 1)[1]
    print(f"log with a link planted: {written.name}", flush=True)
    t.check(written.name in ("Linked Log R2.log", "Linked Log R2 (2).log"), f"logged to {logged[0]}")
    t.check(mentions(t, written, product), "no plain log of the product")

    # At the /e targets: a symbolic link and a second name (hard link) of someone else's file.
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    hard = folder.parent / "hard.txt"
    hard.write_text(SECRET, encoding="utf-8")
    os.symlink(secret, folder / "pkg_glob.msp")
    os.link(hard, folder / "pkg_lp.msp")
    lp_patch, _ = t.make_upgrade_patch(t.make_product(name="Linked LP", version="1.0.0.0"), "1.1.0.0",
                                       change_file=False)
    r = t.run_update(t.build_variant(patch, lp_patch), ["/quiet", "/e", win_folder + "\\pkg.msp"], expect_boxes=0,
                     extra_env=USER_ENGLISH)
    t.equal(secret.read_text(encoding="utf-8"), SECRET, "the file the /e link led to")
    t.equal(hard.read_text(encoding="utf-8"), SECRET, "the file that had a second name at the /e target")
    # A link that cannot be removed as itself (Wine shows a Unix link as the file it leads to, and
    # the program deletes only the entry itself) stays, and the run says so: access denied (5) is
    # its exit code. Every other target holds its package, under one name.
    stayed = [name for name in ("pkg_glob.msp", "pkg_lp.msp") if (folder / name).is_symlink()]
    print(f"/e left these links alone: {stayed or 'none'}", flush=True)
    t.equal(r.exit_code, 5 if stayed else 0, f"exit code of /e with the links {stayed} left")
    for name, package in (("pkg_glob.msp", patch), ("pkg_lp.msp", lp_patch)):
        target = folder / name
        if name not in stayed:
            t.check(target.stat().st_nlink == 1, f"{name} still has a second name")
            t.same_bytes(target, package, name)

if __name__ == "__main__":
    sys.exit(run_scenarios())
