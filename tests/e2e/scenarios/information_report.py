#!/usr/bin/env python3
"""update.exe /i: one box describing the packages it carries (target product codes, the versions
they apply to and bring a product to) and the running Windows, with the warning icon, under /q too;
/e before /i extracts first, /i ends the scan. The report's copies of the packages stay in %TEMP%.

Each system line is checked against what the prefix reports to a probe that carries the updater's
manifest and asks the same questions (tests/e2e/programs/os_version): the version numbers, and the
edition word that the machine's architecture decides; the names of the versions are the unit
tests'."""
import dataclasses
import functools
import re
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.pictures import picture  # noqa: E402
from e2elib.scenario import Box, new_guid, run_scenarios, scenario  # noqa: E402

SEPARATOR = "\n\n" + "-" * 47 + "\n\n"


_desktop_restarted = False


def report_scenario(fn):
    """A scenario whose helper programs (patch builder, probes) run on the display as well.

    Wine starts its desktop with the graphics driver of the first program that needs it, and ends
    it a few seconds after the last program has left. When a helper without a display comes first
    (the patch builder creates a window), a box shown within the next seconds fails at once and
    update.exe ends without its report. So the programs left from earlier scenario files, and a
    desktop they may hold, are ended once, and every helper here runs on the display."""
    @functools.wraps(fn)
    def run(t):
        global _desktop_restarted
        if not _desktop_restarted:
            t.env.kill_programs()
            _desktop_restarted = True
        without_display = t.wine
        t.wine = lambda args, **kw: without_display(args, **dict(kw, display=True))
        run_update = t.run_update

        def run_update_checked(exe, args=(), expect_boxes=None, **kw):
            r = checked_report(t, run_update(exe, args, **kw))
            if expect_boxes is not None:
                t.expect_boxes(r, expect_boxes)
            return r
        t.run_update = run_update_checked
        fn(t)
    return scenario(run)


def os_facts(t, exe=None):
    """What Windows reports to the version probe (or to a copy of it), as numbers."""
    probe = t.cfg.binary_dir / "probes" / "os_version" / "os_version_probe.exe"
    t.check(probe.is_file(), f"the version probe is not built: {probe}")
    if exe is not None:
        shutil.copyfile(probe, exe)
    _, out, _ = t.wine([exe or probe])
    return {k: int(v) for k, v in (line.split("=", 1) for line in out.splitlines() if "=" in line)}


# What the boxes expected here hold for the system line: each line the report shows is checked
# against what Windows reported to the probe (see checked_report) and then stands for this text.
# Which name a version gets is the unit tests' business (tests/unit/os_description_test.cpp); only
# what needs the real system is checked here.
SYSTEM = "<the system line>"


def system_line(t, f):
    """Remembers the facts the next reports are checked against; the expected boxes then hold
    SYSTEM."""
    t.system_facts = f
    return SYSTEM


def check_system_line(t, line):
    """The report's system line for the facts the probe reported: "Windows(0.0.0.0)" for a system
    that is not Windows NT or did not answer; else a name, then the major and minor version that
    Windows reported; an edition word after the name of a workstation whose extended record was
    read, and never on an AMD64 machine (the native architecture, where the system has the lookup)."""
    f = t.system_facts
    extended = f["extended-ok"]
    prefix = "extended" if extended else "plain"
    if not (extended or f["plain-ok"]) or f[f"{prefix}-platform"] != 2:
        t.equal(line, "Windows(0.0.0.0)", "the system line of a system that is not Windows NT")
        return
    m = re.fullmatch(r"(.+)\((\d+)\.(\d+)\.0\.0\)", line)
    t.check(m is not None, f"system line {line!r}")
    name, version = m.group(1), (int(m.group(2)), int(m.group(3)))
    t.equal(version, (f[f"{prefix}-major"] & 0xFFFF, f[f"{prefix}-minor"] & 0xFFFF), f"version of {line!r}")
    t.check(name.startswith(("Windows", "Microsoft Windows")), f"name of {line!r}")
    arch = f["native-architecture"] if f["native-lookup"] else f["system-architecture"]
    edition = name.endswith(("Professional ", "Home Edition ", "Workstation 4.0 "))
    workstation = extended and f["extended-product-type"] == 1
    t.equal(edition, workstation and arch != 9, f"edition word in {line!r}")


def checked_report(t, r):
    """Checks every system line of the result's boxes, remembers the last one (t.system_seen) and
    returns the result with those lines replaced by SYSTEM."""
    boxes = []
    for box in r.boxes:
        for line in re.findall(r"OSInfo:\n\t(.*)", box.text):
            check_system_line(t, line)
            t.system_seen = line
        boxes.append(dataclasses.replace(box, text=re.sub(r"(OSInfo:\n\t).*", r"\1" + SYSTEM, box.text)))
    return dataclasses.replace(r, boxes=boxes)


def section(system, template="", keywords=""):
    """The lines of one package: its Template one code a line, the Keywords split at the first
    ";" (nothing when there is none, or nothing before it), the system line."""
    upgrade, separator, targets = keywords.partition(";")
    if not separator or not upgrade:
        upgrade = targets = ""
    products = template.replace(";", "\n")
    return f"Products:\n{products}\nTarget:\n\t{targets}\nUpgrade:\n\t{upgrade}\nOSInfo:\n\t{system}"


def report(global_section, langpack_section):
    return Box("Info", "Global MSP\n\n" + global_section + SEPARATOR + "Language pack MSP\n\n" + langpack_section,
               "warning")


def temp_packages(t):
    return sorted((n for n in t.temp_files() if n.startswith("MSP")), key=lambda n: int(n[3:]))


@report_scenario
def global_package_only(t):
    system = system_line(t, os_facts(t))
    product = t.make_product(name="Report Global Only", version="1.0.0.0")  # listed, though not installed
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", keywords="1.0.1.0;1.0.0.0,", change_file=False)
    exe = t.build_variant(patch)

    expected = Box("Info",
                   "Global MSP\n\n"
                   f"Products:\n{product.code}\nTarget:\n\t1.0.0.0,\nUpgrade:\n\t1.0.1.0\nOSInfo:\n\t{system}"
                   "\n\n-----------------------------------------------\n\n"
                   "Language pack MSP\n\n"
                   f"Products:\n\nTarget:\n\t\nUpgrade:\n\t\nOSInfo:\n\t{system}",
                   "warning")
    r = t.run_update(exe, ["/i"], expect_boxes=[expected])
    t.equal(r.exit_code, 0, "exit code")
    t.check(not r.boxes[0].text.endswith("\n") and "\r" not in r.boxes[0].text, "line ends of the report")
    # The report's copy of the package stays; the absent language pack leaves none.
    t.equal(r.new_temp_files, ["MSP1"], "files left in %TEMP%")
    t.same_bytes(t.env.temp_unix / "MSP1", patch, "the report's copy of the package")

    # Each showing leaves one more copy.
    r = t.run_update(exe, ["/I"], expect_boxes=[expected])
    t.equal(r.new_temp_files, ["MSP2"], "files left in %TEMP% by the second report")
    t.equal(temp_packages(t), ["MSP1", "MSP2"], "copies in %TEMP%")


@report_scenario
def report_in_the_readme(t):
    """The documentation's picture of the report: fixed product codes, so that it stays the same from run
    to run; the products are never installed."""
    example, beispiel, language_pack = ("{399EF217-6621-471E-A3FB-D78892574763}",
                                        "{C5D7A08B-7CCA-4096-AA5E-C0A4F91C4B7D}",
                                        "{DB6A4D11-289F-4435-BA9B-EF0969F53535}")
    product = t.make_product(name="Example Product", version="1.0.0.0", code=example)
    langpack = t.make_product(name="Example Product German", language=1031, version="1.0.0.0", code=language_pack)
    glob, _ = t.make_upgrade_patch(product, "1.1.0.0", template=f"{example};{beispiel}",
                                   keywords="1.1.0.0;1.0.0.0,1.0.1.0,", change_file=False)
    lp, _ = t.make_upgrade_patch(langpack, "1.1.0.0", template=language_pack, change_file=False)
    system = system_line(t, os_facts(t))
    expected = report(section(system, f"{example};{beispiel}", "1.1.0.0;1.0.0.0,1.0.1.0,"),
                      section(system, language_pack, "1.1.0.0;1.0.0.0,"))
    picture(t, "report", t.run_update(t.build_variant(glob, lp), ["/i"], expect_boxes=[expected]))


@report_scenario
def both_packages_with_several_codes_and_versions(t):
    system = system_line(t, os_facts(t))
    main = t.make_product(name="Report Main", version="1.0.0.0")
    lp = t.make_product(name="Report Sprachpaket", language=1031, version="1.0.0.0")
    # Three codes in their stored form; U;T1,T2,.
    codes = f"{main.code};{new_guid().lower()};{new_guid()}"
    glob, _ = t.make_upgrade_patch(main, "2.0.0.0", template=codes, keywords="2.0.0.0;1.0.0.0,1.1.0.0,",
                                   change_file=False)
    # A second ";" stays in the target line.
    langpack, _ = t.make_upgrade_patch(lp, "1.0.1.0", keywords="1.0.1.0;1.0.0.0;1.0.0.5,", change_file=False)
    exe = t.build_variant(glob, langpack)

    expected = report(
        section(system, codes, "2.0.0.0;1.0.0.0,1.1.0.0,"),
        f"Products:\n{lp.code}\nTarget:\n\t1.0.0.0;1.0.0.5,\nUpgrade:\n\t1.0.1.0\nOSInfo:\n\t{system}")
    t.check(expected.text.count("\n", expected.text.index("Products:"), expected.text.index("Target:")) == 4,
            "three product lines expected")
    r = t.run_update(exe, ["/i"], expect_boxes=[expected])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(r.new_temp_files, ["MSP1", "MSP2"], "files left in %TEMP%")
    t.same_bytes(t.env.temp_unix / "MSP1", glob, "the global package's copy")
    t.same_bytes(t.env.temp_unix / "MSP2", langpack, "the language pack's copy")


@report_scenario
def packages_without_usable_summaries_give_empty_lines(t):
    system = system_line(t, os_facts(t))
    product = t.make_product(name="Report Unusable", version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(product, "1.0.1.0", template=None, keywords="1.0.1.0", change_file=False)
    langpack = t.not_a_package("langpack.msp")
    exe = t.build_variant(glob, langpack)
    r = t.run_update(exe, ["/i"], expect_boxes=[report(section(system), section(system))])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(r.new_temp_files, ["MSP1", "MSP2"], "files left in %TEMP%")


@report_scenario
def quiet_mode_shows_the_report_too(t):
    system = system_line(t, os_facts(t))
    product = t.make_product(name="Report Quiet", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    exe = t.build_variant(patch)
    expected = report(section(system, product.code, "1.0.1.0;1.0.0.0,"), section(system))
    for args in (["/q", "/i"], ["/Q", "/I"]):
        r = t.run_update(exe, args, expect_boxes=[expected])
        t.equal(r.exit_code, 0, f"exit code of {' '.join(args)}")


@report_scenario
def report_switch_ends_the_command_line(t):
    system = system_line(t, os_facts(t))
    product = t.make_product(name="Report First", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    exe = t.build_variant(patch)
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    expected = report(section(system, product.code, "1.0.1.0;1.0.0.0,"), section(system))
    r = t.run_update(exe, ["/i", "/e", win_folder + "\\pkg.msp"], expect_boxes=[expected])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(sorted(p.name for p in folder.iterdir()), [], "files written beside the pattern")
    t.equal(r.new_temp_files, ["MSP1"], "files left in %TEMP%")


@report_scenario
def extraction_then_report(t):
    system = system_line(t, os_facts(t))
    main = t.make_product(name="Report After Extraction", version="1.0.0.0")
    lp = t.make_product(name="Report After Extraction LP", language=1031, version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(main, "1.0.1.0", change_file=False)
    langpack, _ = t.make_upgrade_patch(lp, "1.0.1.0", change_file=False)
    exe = t.build_variant(glob, langpack)
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    expected = report(section(system, main.code, "1.0.1.0;1.0.0.0,"), section(system, lp.code, "1.0.1.0;1.0.0.0,"))
    r = t.run_update(exe, ["/e", win_folder + "\\pkg.msp", "/i"], expect_boxes=[expected])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(sorted(p.name for p in folder.iterdir()), ["pkg_glob.msp", "pkg_lp.msp"], "files extracted")
    t.same_bytes(folder / "pkg_glob.msp", glob, "pkg_glob.msp")
    t.same_bytes(folder / "pkg_lp.msp", langpack, "pkg_lp.msp")
    t.equal(r.new_temp_files, ["MSP1", "MSP2"], "the report's copies in %TEMP%")
    temp = t.env.temp_unix
    t.check((folder / "pkg_lp.msp").stat().st_mtime_ns <= (temp / "MSP1").stat().st_mtime_ns,
            "the packages were extracted before the report read them")


# Windows versions that Wine reports to a program on request (its per-program "Version" setting),
# the default of the prefix first. Which numbers each gives is read from the probe, not assumed.
WINE_VERSIONS = [None, "win10", "win81", "win8", "win2008", "vista", "win2003", "winxp64", "winxp", "win2k",
                 "nt40", "win98"]


@report_scenario
def system_line_follows_the_reported_windows(t):
    default = os_facts(t)
    # A 32-bit program in the 64-bit prefix: GetSystemInfo says x86, GetNativeSystemInfo AMD64,
    # and only the latter keeps the edition word off a 64-bit system's line. A 64-bit program
    # hears AMD64 from both.
    expected = (64, 1, 9, 9) if t.cfg.processor == "x86_64" else (32, 1, 9, 0)
    t.equal((default["pointer-bits"], default["native-lookup"], default["native-architecture"],
             default["system-architecture"]), expected, "bits, lookup, native and plain architecture")

    product = t.make_product(name="Report Versions", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    exe = t.build_variant(patch)
    keys = []
    seen = {}
    try:
        for version in WINE_VERSIONS:
            tag = version or "default"
            probe_exe, update_exe = t.path(f"probe-{tag}.exe"), t.path(f"update-{tag}.exe")
            if version:
                for name in (probe_exe.name, update_exe.name):
                    key = f"HKCU\\Software\\Wine\\AppDefaults\\{name}"
                    t.wine(["reg", "add", key, "/v", "Version", "/d", version, "/f"])
                    keys.append(key)
            system = system_line(t, os_facts(t, probe_exe))
            shutil.copyfile(exe, update_exe)
            expected = report(section(system, product.code, "1.0.1.0;1.0.0.0,"), section(system))
            r = t.run_update(update_exe, ["/i"], expect_boxes=[expected])
            t.equal(r.exit_code, 0, f"exit code as {tag}")
            seen[tag] = t.system_seen
    finally:
        for key in keys:
            t.wine(["reg", "delete", key, "/f"], ok_codes=None)
    print("system lines: " + "; ".join(f"{k}: {v}" for k, v in seen.items()), flush=True)
    # The runs covered named systems and one that is not Windows NT; every Windows NT has a name,
    # and the edition word never sticks to it.
    t.check(len(set(seen.values())) >= 6, f"too few different systems reported: {seen}")
    t.check(not any(v.startswith("Windows(") and not v.endswith("(0.0.0.0)") for v in seen.values()),
            f"a Windows NT version without a name of its own: {seen}")
    t.check(not any("WindowsProfessional" in v or "2003Professional" in v for v in seen.values()),
            f"an edition word joined to the name: {seen}")
    t.check("Windows(0.0.0.0)" in seen.values(), f"no system other than Windows NT: {seen}")


if __name__ == "__main__":
    sys.exit(run_scenarios())
