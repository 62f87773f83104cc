#!/usr/bin/env python3
"""The benchmark of update.exe under Wine (started by bench/run.sh, which builds what it needs).

Prints, side by side on this machine and this Wine, the time and the peak memory (resident set)
of each run, a whole process from start to end:
- starting: `update.exe /pi`, which does nothing, without packages and carrying a package of
  --size-mb megabytes, against a program that does nothing (bench/empty.cpp);
- extraction: `update.exe /e` writing that package against a plain copy of the same bytes
  (CopyFileW, bench/copy_file.cpp);
- the patch run: `update.exe /q` patching the sample product against the bare Windows Installer
  calls it makes for that product (bench/bare_apply.cpp);
- the size of update.exe without packages (i686 and x64) and the DLLs it imports;
- whether the goals are met: `/e` at most 1.2 times a plain copy of the same bytes, and the peak
  memory of `/pi` within 20 MiB of the empty program's, whatever the package size.

Each figure is the median of --runs runs, the two sides of a comparison taken in turns, after one
run of each that is not counted (warm caches).
"""
import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2elib import pe, winenv  # noqa: E402
from e2elib.scenario import Case, Config  # noqa: E402
from e2elib.winenv import to_windows  # noqa: E402

FILES_IN_USE = "The following applications should be closed before continuing the install:"


GOAL_EXTRACTION_RATIO = 1.2   # /e against a plain copy of the same bytes
GOAL_START_MEMORY_MIB = 20    # /pi's peak memory above the empty program's


class Measure:
    """Time in seconds and peak memory in MiB of one run, or the medians of several."""

    def __init__(self, seconds, mib):
        self.seconds, self.mib = seconds, mib

    @staticmethod
    def median(measures):
        return Measure(statistics.median(m.seconds for m in measures), statistics.median(m.mib for m in measures))

    def __str__(self):
        return f"{self.seconds:7.3f} s {self.mib:7.1f} MiB"


def measured(env, args, what, ok=(0,)):
    """Runs `wine ARGS...` to its end. Wine's loader becomes the Windows process (it replaces
    itself, it does not start another; the wineserver of the test prefix is already running),
    so the peak resident set that the kernel reports for it is the program's. GNU time starts
    it: a child of this Python process would start from Python's own resident set, which the
    kernel counts into the child's peak."""
    with tempfile.TemporaryDirectory() as folder:
        report = Path(folder) / "peak"
        out = Path(folder) / "out"
        started = time.perf_counter()
        with open(out, "wb") as sink:
            code = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", str(report), "wine"] + [str(a) for a in args],
                                  env=env.env(False, None), stdin=subprocess.DEVNULL, stdout=sink,
                                  stderr=subprocess.STDOUT, timeout=600).returncode
        seconds = time.perf_counter() - started
        if code not in ok:
            raise SystemExit(f"{what}: exit code {code}\n{out.read_text('utf-8', 'replace')}")
        kib = int(report.read_text().split()[-1])
    return Measure(seconds, kib / 1024)


def medians(runs, first, second):
    """Medians of two measures taken in turns, so that a change in the machine's load falls on
    both alike; one run of each first, not counted, to warm the caches."""
    first()
    second()
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return Measure.median(a), Measure.median(b)


def extraction(t, exe_dir, size_mb, runs):
    source = t.path("package.bin")
    with open(source, "wb") as f:
        block = os.urandom(1 << 20)
        for i in range(size_mb):
            f.write(block[i % 256:] + block[:i % 256])  # no two megabytes alike
    exe = t.build_variant(source, name="update-big.exe")
    out_unix, out_win = t.c_drive("bench/out")
    out_unix.mkdir(parents=True, exist_ok=True)
    src_unix, src_win = t.c_drive("bench/package.bin")
    os.replace(source, src_unix)

    def extract():
        for p in out_unix.iterdir():
            p.unlink()
        m = measured(t.env, [exe, "/e", out_win + "\\package.msp"], "update.exe /e")
        written = out_unix / "package_glob.msp"
        if written.stat().st_size != size_mb << 20:
            raise SystemExit(f"update.exe /e wrote {written.stat().st_size} bytes")
        return m

    def copy():
        for p in out_unix.iterdir():
            p.unlink()
        return measured(t.env, [exe_dir / "copy_file.exe", src_win, out_win + "\\copy.bin"], "copy_file")

    e, c = medians(runs, extract, copy)
    for p in out_unix.iterdir():
        p.unlink()
    src_unix.unlink()
    return exe, e, c


def start(t, exe_dir, exe, runs):
    """`update.exe /pi` against the empty program."""
    return medians(runs, lambda: measured(t.env, [exe, "/pi"], "update.exe /pi"),
                   lambda: measured(t.env, [exe_dir / "empty.exe"], "empty program"))


def patch_run(t, exe_dir, runs):
    product = t.make_product(name="Sample Product", version="1.0.0.0")
    patch, upgraded = t.make_upgrade_patch(product, "1.0.1.0")
    exe = t.build_variant(patch, name="update-sample.exe")
    log = t.path("bare.log")

    def fresh():
        t.install(product)

    def done():
        if t.product_version(product.code) != "1.0.1.0":
            raise SystemExit("the product was not patched")
        t.uninstall(product)

    def full():
        fresh()
        m = measured(t.env, [exe, "/q"], "update.exe /q")
        done()
        return m

    def bare():
        fresh()
        m = measured(t.env, [exe_dir / "bare_apply.exe", product.code, to_windows(patch), to_windows(log),
                             FILES_IN_USE], "bare_apply")
        done()
        return m

    return medians(runs, full, bare)


def sizes(exes):
    rows = []
    for arch, exe in exes:
        image = pe.read(exe)
        rows.append((arch, Path(exe).stat().st_size, sorted(image.imported_dlls())))
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--config", required=True)
    ap.add_argument("--tools", required=True, help="folder of copy_file.exe, bare_apply.exe and empty.exe")
    ap.add_argument("--exe-i686", required=True)
    ap.add_argument("--exe-x64", required=True)
    ap.add_argument("--arch", choices=("i686", "x64"), default="i686",
                    help="the build that --config and --tools belong to, the one measured")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--size-mb", type=int, default=256)
    args = ap.parse_args()

    cfg = Config.load(args.config)
    bare_exe = Path(args.exe_x64 if args.arch == "x64" else args.exe_i686).resolve()
    tools = Path(args.tools)
    winenv.setup(cfg.state_dir)
    try:
        env = winenv.WineEnv.load(cfg.state_dir)
        work = cfg.work_dir / "bench"
        work.mkdir(parents=True, exist_ok=True)
        t = Case("bench", cfg, env, work)
        t.clear_temp()
        big, e, c = extraction(t, tools, args.size_mb, args.runs)
        starts = [(f"/pi, {size}", *start(t, tools, exe, args.runs))
                  for size, exe in [("no package", bare_exe), (f"{args.size_mb} MB package", big)]]
        full, bare = patch_run(t, tools, args.runs)
    finally:
        winenv.teardown(cfg.state_dir)

    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    print()
    print(f"update.exe ({args.arch}) under {wine}, {platform.machine()} {os.cpu_count()} cores, median of {args.runs} runs;"
          f" time and peak memory of each whole process")
    rows = [(name, ours, "empty program", theirs) for name, ours, theirs in starts]
    rows.append((f"/e, {args.size_mb} MB package", e, "plain copy of the bytes", c))
    rows.append(("/q, the sample product", full, "bare installer calls", bare))
    for name, ours, other, theirs in rows:
        print(f"  {name:24} update.exe {ours}   {other:24} {theirs}"
              f"   time x{ours.seconds / theirs.seconds:.2f}  memory {ours.mib - theirs.mib:+7.1f} MiB")

    ratio = e.seconds / c.seconds
    print(f"  goal: /e of a {args.size_mb} MB package at most {GOAL_EXTRACTION_RATIO}x a plain copy of the same"
          f" bytes: x{ratio:.2f}, {'met' if ratio <= GOAL_EXTRACTION_RATIO else 'NOT MET'}")
    over = [ours.mib - theirs.mib for _, ours, theirs in starts]
    print(f"  goal: peak memory of /pi within {GOAL_START_MEMORY_MIB} MiB of an empty program's, whatever the"
          f" package size: " + ", ".join(f"{name[4:]} {d:+.1f} MiB" for (name, _, _), d in zip(starts, over))
          + f", {'met' if max(over) <= GOAL_START_MEMORY_MIB else 'NOT MET'}")
    for arch, size, dlls in sizes([("i686", args.exe_i686), ("x64", args.exe_x64)]):
        print(f"  update.exe without packages, {arch:4}  {size:7d} bytes ({size / 1024:.0f} KB)"
              f"   imports {', '.join(dlls)}")
    print("  msi.dll is loaded at run time from the system folder")


if __name__ == "__main__":
    main()
