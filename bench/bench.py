#!/usr/bin/env python3
"""The benchmark of update.exe under Wine (started by bench/run.sh, which builds what it needs).

Prints, side by side on this machine and this Wine:
- extraction: `update.exe /e` writing a package of --size-mb megabytes against a plain copy of the
  same bytes (CopyFileW, bench/copy_file.cpp), each a whole process from start to end;
- the patch run: `update.exe /q` patching the sample product against the bare Windows Installer
  calls it makes for that product (bench/bare_apply.cpp), each a whole process;
- the size of update.exe without packages (i686 and x64) and the DLLs it imports.

Each time is the median of --runs runs, the two sides of a comparison taken in turns, after one
run of each that is not counted (warm caches).
"""
import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2elib import pe, winenv  # noqa: E402
from e2elib.scenario import Case, Config  # noqa: E402
from e2elib.winenv import to_windows  # noqa: E402

FILES_IN_USE = "The following applications should be closed before continuing the install:"


def timed(env, args, what, ok=(0,)):
    started = time.perf_counter()
    code, out, err = env.run([str(a) for a in args], timeout=600, display=False)
    seconds = time.perf_counter() - started
    if code not in ok:
        raise SystemExit(f"{what}: exit code {code}\n{out}{err}")
    return seconds


def medians(runs, first, second):
    """Median times of two measures taken in turns, so that a change in the machine's load
    falls on both alike; one run of each first, not counted, to warm the caches."""
    first()
    second()
    a, b = [], []
    for _ in range(runs):
        a.append(first())
        b.append(second())
    return statistics.median(a), statistics.median(b)


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
        s = timed(t.env, [exe, "/e", out_win + "\\package.msp"], "update.exe /e")
        written = out_unix / "package_glob.msp"
        if written.stat().st_size != size_mb << 20:
            raise SystemExit(f"update.exe /e wrote {written.stat().st_size} bytes")
        return s

    def copy():
        for p in out_unix.iterdir():
            p.unlink()
        return timed(t.env, [exe_dir / "copy_file.exe", src_win, out_win + "\\copy.bin"], "copy_file")

    def start_only():
        return timed(t.env, [exe, "/pi"], "update.exe /pi")

    e, c = medians(runs, extract, copy)
    start, _ = medians(runs, start_only, lambda: 0.0)
    for p in out_unix.iterdir():
        p.unlink()
    src_unix.unlink()
    return e, c, start


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
        s = timed(t.env, [exe, "/q"], "update.exe /q")
        done()
        return s

    def bare():
        fresh()
        s = timed(t.env, [exe_dir / "bare_apply.exe", product.code, to_windows(patch), to_windows(log), FILES_IN_USE],
                  "bare_apply")
        done()
        return s

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
    ap.add_argument("--tools", required=True, help="folder of copy_file.exe and bare_apply.exe")
    ap.add_argument("--exe-i686", required=True)
    ap.add_argument("--exe-x64", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--size-mb", type=int, default=256)
    args = ap.parse_args()

    cfg = Config.load(args.config)
    tools = Path(args.tools)
    winenv.setup(cfg.state_dir)
    try:
        env = winenv.WineEnv.load(cfg.state_dir)
        work = cfg.work_dir / "bench"
        work.mkdir(parents=True, exist_ok=True)
        t = Case("bench", cfg, env, work)
        t.clear_temp()
        e, c, start = extraction(t, tools, args.size_mb, args.runs)
        full, bare = patch_run(t, tools, args.runs)
    finally:
        winenv.teardown(cfg.state_dir)

    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    print()
    print(f"update.exe under {wine}, {platform.machine()} {os.cpu_count()} cores, median of {args.runs} runs")
    print(f"  extraction of {args.size_mb} MB     update.exe /e  {e:7.3f} s  {args.size_mb / e:7.1f} MB/s"
          f"   plain copy            {c:7.3f} s  {args.size_mb / c:7.1f} MB/s   ratio {e / c:.2f}")
    print(f"    of which starting the {args.size_mb} MB executable (update.exe /pi)  {start:7.3f} s")
    print(f"  patch run of the sample   update.exe /q  {full:7.3f} s"
          f"                bare installer calls  {bare:7.3f} s                ratio {full / bare:.2f}")
    for arch, size, dlls in sizes([("i686", args.exe_i686), ("x64", args.exe_x64)]):
        print(f"  update.exe without packages, {arch:4}  {size:7d} bytes ({size / 1024:.0f} KB)"
              f"   imports {', '.join(dlls)}")
    print("  msi.dll is loaded at run time from the system folder")


if __name__ == "__main__":
    main()
