#!/usr/bin/env python3
"""update.exe writes out the packages it carries (/e), does nothing with /pi, and is built as a
self-contained program that asks for administrator rights."""
import re
import shutil
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib import pe  # noqa: E402
from e2elib.scenario import SYSTEM_DLLS, msp_resources, run_scenarios, scenario  # noqa: E402


def two_packages(t):
    """A real global patch and a real language-pack patch for two sample products."""
    main = t.make_product(name="Extraktion Hauptprodukt", version="1.0.0.0")
    lp = t.make_product(name="Extraktion Sprachpaket", language=1031, version="1.0.0.0")
    glob, _ = t.make_upgrade_patch(main, "1.0.1.0")
    langpack, _ = t.make_upgrade_patch(lp, "1.0.1.0")
    t.check(glob.read_bytes() != langpack.read_bytes(), "the two packages must differ")
    return glob, langpack


def entries(folder):
    return sorted(p.name for p in Path(folder).iterdir()) if Path(folder).is_dir() else []


@scenario
def both_packages_are_written_beside_the_pattern(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)
    folder, win_folder = t.c_drive(f"e2e-{t.name}/somefolder")
    folder.mkdir(parents=True)
    r = t.run_update(exe, ["/e", win_folder + "\\pkg.msp"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(entries(folder), ["pkg_glob.msp", "pkg_lp.msp"], "files written")
    t.same_bytes(folder / "pkg_glob.msp", glob, "pkg_glob.msp")
    t.same_bytes(folder / "pkg_lp.msp", langpack, "pkg_lp.msp")
    t.equal(r.new_temp_files, [], "files left in the temporary folder")

    # An existing file of that name is replaced; the switch is not case-sensitive.
    (folder / "pkg_glob.msp").write_bytes(b"old content that is longer than nothing" * 100)
    r = t.run_update(exe, ["/E", win_folder + "\\pkg.msp"], expect_boxes=0)
    t.same_bytes(folder / "pkg_glob.msp", glob, "replaced pkg_glob.msp")

    # The packages inside the executable are the given files, under the agreed names.
    t.equal(msp_resources(exe), {"IDR_MSP": glob.read_bytes(), "IDR_MSP_LP": langpack.read_bytes()},
            "MSP resources of the executable")


@scenario
def global_only_executable_writes_one_file(t):
    glob, _ = two_packages(t)
    exe = t.build_variant(glob)
    folder, win_folder = t.c_drive(f"e2e-{t.name}/out")
    folder.mkdir(parents=True)
    r = t.run_update(exe, ["/e", win_folder + "\\pkg.msp"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(entries(folder), ["pkg_glob.msp"], "files written")
    t.same_bytes(folder / "pkg_glob.msp", glob, "pkg_glob.msp")
    t.equal(set(msp_resources(exe)), {"IDR_MSP"}, "MSP resources of the executable")

    # /pi does nothing at all, also when it comes before /e.
    for args in (["/pi"], ["/PI", "/e", win_folder + "\\other.msp"]):
        r = t.run_update(exe, args, expect_boxes=0)
        t.equal(r.exit_code, 0, f"exit code of {args}")
        t.equal(entries(folder), ["pkg_glob.msp"], f"files after {args}")
        t.equal(r.new_temp_files, [], f"files left in the temporary folder by {args}")


@scenario
def unusual_extraction_paths_end_cleanly(t):
    glob, langpack = two_packages(t)
    exe = t.build_variant(glob, langpack)

    # "/e" as the last argument: each package goes to a new file in the temporary folder.
    r = t.run_update(exe, ["/e"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code with /e last")
    written = r.new_temp_files
    t.equal(len(written), 2, f"files written to the temporary folder with /e last: {written}")
    t.check(all(re.fullmatch(r"MSP\d+", n) for n in written), f"temporary names: {written}")
    contents = sorted((t.env.temp_unix / n).read_bytes() for n in written)
    t.check(contents == sorted([glob.read_bytes(), langpack.read_bytes()]),
            "the temporary files do not hold the two packages")

    # A folder that does not exist: nothing is written anywhere, no box, exit code 0.
    base, win_base = t.c_drive(f"e2e-{t.name}")
    base.mkdir(parents=True)
    r = t.run_update(exe, ["/e", win_base + "\\missing\\pkg.msp"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code with a missing folder")
    t.equal(entries(base), [], "files written for a missing folder")
    t.equal(r.new_temp_files, [], "files left in the temporary folder")

    # Paths far beyond the usual limit: the program must end normally (a crash ends with a
    # non-zero exit code in the test prefix).
    for length in (300, 2000, 20000):
        long_path = win_base + "\\" + ("x" * (length - len(win_base) - 9)) + "\\pkg.msp"
        r = t.run_update(exe, ["/e", long_path], expect_boxes=0)
        t.equal(r.exit_code, 0, f"exit code with a path of {len(long_path)} characters")
    t.equal(entries(base), [], "files written for the long paths")


@scenario
def executable_is_self_contained_and_asks_for_administrator(t):
    glob, _ = two_packages(t)
    exe = t.build_variant(glob)
    image = pe.read(exe)
    # Whole pages in the file as in memory: the loader maps the packages instead of reading them.
    t.equal((image.file_alignment, image.section_alignment), (4096, 4096), "file and section alignment")
    t.equal([name for name, _, _, rawptr, _ in image.sections if rawptr % 4096], [], "sections off a page")
    if t.cfg.processor == "x86_64":
        t.equal(image.machine, 0x8664, "machine type (x64)")
    else:
        t.equal(image.machine, 0x14C, "machine type (i386, runs on 32- and 64-bit Windows)")
    t.equal(image.subsystem, 2, "subsystem (Windows GUI)")
    foreign = sorted(set(image.imported_dlls()) - SYSTEM_DLLS)
    t.equal(foreign, [], "imported DLLs that are not part of Windows")

    manifests = [data for typ, _, _, data in image.resources() if typ == 24]
    t.equal(len(manifests), 1, "number of manifests")
    root = ET.fromstring(manifests[0].decode("utf-8-sig"))
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    t.equal(levels, ["requireAdministrator"], "requested execution level")


@scenario
def package_bytes_come_only_from_the_running_image_file(t):
    """Packages are read from the executable's own file, never from a file that merely has its
    name now: the reader the extraction uses, in a program whose file is renamed and whose name is
    given to a copy of it while it runs (the package contents are checked by the scenarios above)."""
    probe = t.path("image_bytes_probe.exe")
    shutil.copy(t.cfg.binary_dir / "probes" / "image_bytes" / "image_bytes_probe.exe", probe)
    _, out, _ = t.wine([probe])
    t.equal(out.replace("\r\n", "\n").splitlines(), ["own=11", "heap=00", "replaced=00"],
            "bytes read from the image's file: own image, memory of no image, a copy under its name")


if __name__ == "__main__":
    sys.exit(run_scenarios())
