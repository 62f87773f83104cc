#!/usr/bin/env python3
"""Unattended deployment end to end: /quiet, /passive, /norestart, /log and /check against real
products and patches through Wine's Windows Installer; Windows Installer properties on the command
line; the exit codes that deployment tools judge a run by; the program's own log with the patch
code and its registered state; the help box of /?."""
import json
import re
import subprocess
import sys
from datetime import datetime
from pathlib import Path
from zoneinfo import ZoneInfo

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from e2elib.catalogue import CATALOGUE, ENGLISH, FRENCH, GERMAN, USER_ENGLISH, USER_GERMAN, filled  # noqa: E402
from e2elib.scenario import Box, new_guid, run_scenarios, scenario  # noqa: E402

ROOT = HERE.parents[2]
VERSION = re.search(r"project\([^)]*VERSION\s+([0-9.]+)", (ROOT / "CMakeLists.txt").read_text()).group(1)
STAMPED = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*)$")
# A line of /cmtrace, as viewers of the format read it.
CMTRACE = re.compile(r'<!\[LOG\[(.*?)\]LOG\]!><time="(\d\d):(\d\d):(\d\d)\.\d{3}([+-]\d{3})" date="(\d\d)-(\d\d)-(\d{4})" '
                     r'component="msp-bootstrap" context="[^"]+" type="([123])" thread="[1-9]\d*" file="">')


def log_matches(t, path, pattern, what):
    """Each line of the program's own log at `path` matched whole by `pattern`; each line must be."""
    raw = Path(path).read_bytes()
    t.check(raw.startswith(b"\xef\xbb\xbf"), f"{path} does not start as UTF-8")
    matches = []
    for line in raw.decode("utf-8-sig").split("\r\n")[:-1]:
        m = pattern.fullmatch(line)
        t.check(m is not None, f"{what} in {path}: {line!r}")
        matches.append(m)
    return matches


def own_log_lines(t, path):
    """The lines of the program's own log without their timestamps; each line must have one."""
    return [m.group(1) for m in log_matches(t, path, STAMPED, "line without a timestamp")]


def cmtrace_lines(t, path, zone):
    """The text and type of each line of an own log written under /cmtrace in time zone `zone`; each line
    must be one of the format, its bias the one Windows counts (UTC = local time + bias)."""
    lines = []
    for m in log_matches(t, path, CMTRACE, "line not in the format"):
        hour, minute, second, bias, month, day, year = (int(m.group(i)) for i in range(2, 9))
        local = datetime(year, month, day, hour, minute, second, tzinfo=ZoneInfo(zone))
        t.equal(bias, -int(local.utcoffset().total_seconds()) // 60, f"bias of {m.group(0)!r}")
        lines.append((m.group(1), int(m.group(9))))
    return lines


def expect_in_log(t, lines, parts):
    for part in parts:
        t.check(any(part in line for line in lines), f"the own log has no line with {part!r}:\n  " + "\n  ".join(lines))


def installer_log_text(path):
    raw = Path(path).read_bytes()
    return raw.decode("utf-16") if raw[:2] == b"\xff\xfe" else raw.decode("latin-1")


@scenario
def quiet_run_patches_then_finds_nothing_to_do_and_logs_to_the_temporary_folder(t):
    product = t.install_product(name="Deploy Quiet", language=GERMAN, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)

    r = t.run_update(exe, ["/quiet"], expect_boxes=0, extra_env=USER_ENGLISH)
    t.equal(r.exit_code, 0, "exit code of the patching run")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    own = [n for n in r.new_temp_files if re.fullmatch(r"update_\d{14}\.log", n)]
    t.equal(sorted(r.new_temp_files), sorted(own + ["Deploy Quiet R2.log"]), "files left in the temporary folder")
    t.equal(len(own), 1, "own logs in the temporary folder")
    lines = own_log_lines(t, t.env.temp_unix / own[0])
    expect_in_log(t, lines, [f"Version {VERSION}, command line: ", f"Configure call for {product.code} returned 0",
                             "Message 301 suppressed: " + filled(CATALOGUE[GERMAN][301], "%s", "Deploy Quiet")])
    t.equal(lines[-1], "Exit code 0", "last line of the own log")

    # Again: nothing to do is success as well, and still no box.
    r = t.run_update(exe, ["/QUIET"], expect_boxes=0, extra_env=USER_ENGLISH)
    t.equal(r.exit_code, 0, "exit code of the repeated run")
    own = [n for n in r.new_temp_files if n.endswith(".log")]
    t.equal(len(own), 1, "own logs of the repeated run")
    expect_in_log(t, own_log_lines(t, t.env.temp_unix / own[0]), ["already at the upgrade version", "Exit code 0"])


@scenario
def runs_that_patch_nothing_exit_with_1642_or_the_failure_code(t):
    absent = t.make_product(name="Deploy Absent", version="1.0.0.0")
    old = t.install_product(name="Deploy Old", version="1.0.0.0")
    absent_patch, _ = t.make_upgrade_patch(absent, "1.1.0.0")
    old_patch, _ = t.make_upgrade_patch(old, "1.2.0.0", keywords="1.2.0.0;1.1.0.0,")
    bogus = t.not_a_package()
    bogus_code = t.package_summary(bogus)["open"]
    t.check(bogus_code != 0, "Windows Installer opened a file that is no package")
    runs = [
        ("no product installed", t.build_variant(absent_patch, name="absent.exe"), ["/quiet"], 1642),
        ("version not applicable", t.build_variant(old_patch, name="old.exe"), ["/passive"], 1642),
        ("package unreadable", t.build_variant(bogus, name="bogus.exe"), ["/norestart", "/quiet"], bogus_code),
    ]
    for what, exe, args, code in runs:
        r = t.run_update(exe, args, expect_boxes=0, extra_env=USER_ENGLISH)
        t.equal(r.exit_code, code, f"exit code ({what})")
    t.equal(t.product_version(old.code), "1.0.0.0", "version of the product the patch does not fit")
    # The same run without the new switches: its box, and exit code 0 as ever.
    t.run_update(runs[1][1], [], expect_boxes=1, extra_env=USER_ENGLISH)


@scenario
def patch_that_schedules_a_restart_exits_with_3010(t):
    product = t.install_product(name="Deploy Restart", version="1.0.0.0")
    upgraded = t.build_msi(product.upgraded("1.1.0.0"))
    # The patch adds a ScheduleReboot action to the product's sequence: applying it needs a restart.
    subprocess.run(["msibuild", str(upgraded.msi), "-q", "INSERT INTO `InstallExecuteSequence` (`Action`, "
                    "`Sequence`) VALUES ('ScheduleReboot', 6650)"], check=True, capture_output=True)
    patch = t.make_patch(product, upgraded)
    # Beside a language pack whose product is not installed, as on most computers: that package
    # does not turn the restart into "nothing applicable" (1642).
    absent_lp, _ = t.make_upgrade_patch(t.make_product(name="Deploy Restart LP", version="1.0.0.0"), "1.1.0.0")
    exe = t.build_variant(patch, absent_lp)
    r = t.run_update(exe, ["/quiet", "/norestart"], expect_boxes=0)
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    t.equal(r.exit_code, 3010, "exit code of a run that needs a restart")


@scenario
def log_switch_writes_the_run_and_the_installer_logs_beside_it(t):
    product = t.install_product(name="Deploy Logged", language=FRENCH, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    folder, folder_win = t.c_drive("deploy logs")
    folder.mkdir(parents=True, exist_ok=True)

    r = t.run_update(exe, ["/passive", "/norestart", "/log", folder_win + "\\run.log"], expect_boxes=0,
                     extra_env=USER_ENGLISH)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    t.equal(r.new_temp_files, [], "files left in the temporary folder")
    product_log = folder / "Deploy Logged R2.log"
    t.check(product_log.is_file(), f"no installer log beside the own log: {sorted(p.name for p in folder.iterdir())}")
    t.check("ReallySuppress" in installer_log_text(product_log), "REBOOT=ReallySuppress is not in the installer log")

    lines = own_log_lines(t, folder / "run.log")
    expect_in_log(t, lines, [
        f"Version {VERSION}, command line: ",
        f"/passive /norestart /log \"{folder_win}\\run.log\"",
        f"Package IDR_MSP: {patch.stat().st_size} bytes, Template \"{product.code}\", Keywords \"1.1.0.0;1.0.0.0,\"",
        f"Target {product.code}: \"Deploy Logged\", language 1036, installed version 1.0.0.0",
        f"Target {product.code} at 1.0.0.0 (upgrade 1.1.0.0, applies to \"1.0.0.0,\"): its version is one the "
        "package applies to",
        f" REBOOT=ReallySuppress\", installer log {folder_win}\\Deploy Logged R2.log",
        f"Configure call for {product.code} returned 0 after ",
        "Message 301 suppressed: " + filled(CATALOGUE[FRENCH][301], "%s", "Deploy Logged"),
        "Package IDR_MSP_LP: not carried",
    ])
    t.equal(lines[-1], "Exit code 0", "last line of the own log")

    # A log that cannot be written changes nothing: the folder does not exist.
    r = t.run_update(exe, ["/quiet", "/log", "C:\\no such folder\\run.log"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code with an unwritable log")
    t.equal(r.new_temp_files, [], "files left in the temporary folder")


def own_log_of(t, result):
    """The lines of the one own log a run left in the temporary folder."""
    own = [n for n in result.new_temp_files if re.fullmatch(r"update_\d{14}(_\d+)?\.log", n)]
    t.equal(len(own), 1, f"own logs in the temporary folder: {result.new_temp_files}")
    return own_log_lines(t, t.env.temp_unix / own[0])


@scenario
def properties_reach_the_installer_and_a_refused_one_installs_nothing(t):
    product = t.install_product(name="Deploy Properties", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)

    r = t.run_update(exe, ["/quiet", "MSIFASTINSTALL=7", "PATCH=C:\\other.msp"], expect_boxes=0)
    t.equal(r.exit_code, 87, "exit code of a refused property")
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the refused run")
    lines = own_log_of(t, r)
    expect_in_log(t, lines, ['Property "PATCH" refused: PATCH names the patch package'])
    t.check(not any("Package IDR_MSP" in line for line in lines), "a refused run looked at a package")

    # The fleet's command line: its log in the format of Configuration Manager's, the masked value a warning.
    note = 'say "hi" twice'
    log = t.path("cmtrace.log")
    r = t.run_update(exe, ["/quiet", "/cmtrace", "/log", t.windows_path(log), "MSIRESTARTMANAGERCONTROL=Disable",
                           f"CONTOSO_NOTE={note}", "lower=ignored"], expect_boxes=0, extra_env={"TZ": "America/New_York"})
    t.equal(r.exit_code, 0, "exit code with properties")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    text = installer_log_text(log.parent / "Deploy Properties R2.log")  # beside the own log
    for line in ["Property(S): MSIRESTARTMANAGERCONTROL = Disable", f"Property(S): CONTOSO_NOTE = {note}"]:
        t.check(line in text, f"the installer log has no {line!r}")
    t.check("lower" not in text, "an argument without a public property name reached the installer")
    lines = cmtrace_lines(t, log, "America/New_York")
    warnings = [text for text, kind in lines if kind != 1]
    t.equal(warnings, ["Property CONTOSO_NOTE (a value of 14 characters) for every configure call"], "lines not typed 1")
    expect_in_log(t, [text for text, _ in lines], ["No restart is pending", "Exit code 0"])


@scenario
def check_answers_what_a_run_would_do_and_the_log_names_the_patch_and_its_state(t):
    product = t.install_product(name="Deploy Check", version="1.0.0.0")
    absent = t.make_product(name="Deploy Check Absent", version="1.0.0.0")
    code = new_guid()
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", patch_code=code)
    absent_patch, _ = t.make_upgrade_patch(absent, "1.1.0.0")
    exe = t.build_variant(patch)
    removal = f"msiexec /package {product.code} /uninstall {code} /qn"

    r = t.run_update(exe, ["/check"], expect_boxes=0)
    t.equal(r.exit_code, 1, "exit code of the check before the run")
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the check")
    lines = own_log_of(t, r)
    t.equal(len(r.new_temp_files), 1, f"files the check left: {r.new_temp_files}")
    expect_in_log(t, lines, [f"Package IDR_MSP: patch code {code}",
                             f"Patch {code} on {product.code} now: not registered",
                             f"Check only: no configure call for {product.code}"])
    t.equal(t.product_info(product.code)["patches"], [], "patches registered after the check")

    r = t.run_update(exe, ["/quiet"], expect_boxes=0)
    t.equal((r.exit_code, t.product_version(product.code)), (0, "1.1.0.0"), "exit code and version of the run")
    expect_in_log(t, own_log_of(t, r), [f"Patch {code} on {product.code} before the run: not registered",
                                        f"Patch {code} on {product.code} after the run: applied; not removable: it was "
                                        f"built so, and \"{removal}\" would refuse it"])

    # What build.sh --inspect tells an administrator to detect and remove is what Windows Installer wrote.
    inspected = subprocess.run(["bash", str(ROOT / "build.sh"), "--inspect", str(patch)], capture_output=True,
                               text=True, timeout=60).stdout
    t.check(f"Removal: {removal} (" in inspected, f"--inspect gives another removal command:\n{inspected}")
    key = re.search(r"Registry, for a per-machine installation: key (\S+), value State", inspected)
    t.check(key is not None, f"--inspect gives no registry rule:\n{inspected}")
    _, out, _ = t.wine(["reg", "query", key.group(1), "/v", "State", "/reg:64"])
    t.check(re.search(r"State\s+REG_DWORD\s+0x1\b", out) is not None, f"{key.group(1)} State is not 1: {out!r}")

    r = t.run_update(exe, ["/check", "/log", t.windows_path(t.path("check.log"))], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code of the check after the run")
    expect_in_log(t, own_log_lines(t, t.path("check.log")), [f"Patch {code} on {product.code} now: applied",
                                                              "already at the upgrade version", "Exit code 0"])

    r = t.run_update(t.build_variant(absent_patch, name="absent.exe"), ["/check"], expect_boxes=0)
    t.equal(r.exit_code, 1642, "exit code of the check without the product")
    t.equal(t.product_info(absent.code)["state"], -1, "state of the product that is not installed")


@scenario
def help_box_lists_switches_and_exit_codes_in_the_users_language(t):
    exe = t.build_variant()
    for switch, language, env in (("/?", ENGLISH, USER_ENGLISH), ("/HELP", GERMAN, USER_GERMAN)):
        c = CATALOGUE[language]
        switches = [322, 323, 324, 325, 333, 332, 326, 327, 328, 329]  # "/cmtrace" and "/check" after "/log"
        text = (filled(c[321], "%s", VERSION) + "\n\n" + "\n".join(c[i] for i in switches) + "\n\n" + c[330] +
                "\n" + c[331])
        r = t.run_update(exe, [switch, "/quiet"], expect_boxes=[Box(c[320], text, "information")], extra_env=env)
        t.equal(r.exit_code, 0, "exit code of the help")
        t.equal(r.new_temp_files, [], "files left by the help")


def run_unseen(t, program, args, timeout=60):
    """Runs a program in a window station of its own that no user sees, as a service or a deployment
    agent in session 0 runs it; returns the launcher's report. A box there waits for ever, so the
    launcher ends the program after `timeout` seconds."""
    _, out, _ = t.wine([t.tool("stationrun"), "--timeout", str(timeout * 1000), "--", t.windows_path(program)] +
                       [str(a) for a in args], timeout=timeout + 30, ok_codes=(0, 1))
    report = json.loads(out.strip().splitlines()[-1])
    t.equal(report["visible"], False, "the launcher's window station is visible")
    return report


@scenario
def no_box_waits_where_nobody_can_see_it(t):
    product = t.install_product(name="Deploy Unseen", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)

    # What the launcher is good for: a program that shows a box there never ends by itself.
    boxes = t.path("box.txt")
    boxes.write_text("50010\tCaption\tWaits for a click\n", encoding="utf-8")
    t.equal(run_unseen(t, t.tool("boxshow"), [t.windows_path(boxes)], timeout=5)["end"], "timeout",
            "how a box in that station ended")

    for args in ([], ["/i"], ["/?"]):
        report = run_unseen(t, exe, args)
        t.equal((report["end"], report.get("exit")), ("exited", 0), f"how update.exe {' '.join(args)} ended")
        if not args:
            t.equal(t.product_version(product.code), "1.1.0.0", "version after the plain run")


if __name__ == "__main__":
    sys.exit(run_scenarios())
