"""Scenario library of the end-to-end tests under Wine.

A scenario file is a Python script with functions marked `@scenario`; each receives a `Case`, whose
methods make sample products and patches, build update.exe variants, run programs with their
message boxes read and closed, and check the outcome. `run_scenarios()` at the end of the file
runs them. See tests/e2e/README.md.
"""

import argparse
import contextlib
import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
import traceback
import uuid
from dataclasses import dataclass, field, replace
from pathlib import Path
from xml.sax.saxutils import escape as xml_escape

from . import pe, winenv
from .winenv import to_windows

HERE = Path(__file__).resolve().parent
E2E_DIR = HERE.parent
PRODUCT_TEMPLATE = E2E_DIR / "products" / "product.wxs"

# DLLs every Windows installation has; an executable importing anything else needs files of its own.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "shlwapi.dll", "ole32.dll",
    "oleaut32.dll", "msi.dll", "comctl32.dll", "comdlg32.dll", "version.dll", "msvcrt.dll", "ntdll.dll",
    "rpcrt4.dll", "ws2_32.dll", "crypt32.dll", "wintrust.dll", "userenv.dll", "bcrypt.dll",
}


class Failure(AssertionError):
    """A check of a scenario failed."""


class Skip(Exception):
    """The scenario cannot run here (it says why)."""


_SCENARIOS = []


def scenario(fn):
    """Marks a function taking a Case as one scenario; its name is the function's name."""
    _SCENARIOS.append(fn)
    return fn


# ---------------------------------------------------------------------------------------------
# Configuration written by CMake

@dataclass
class Config:
    source_dir: Path
    binary_dir: Path
    state_dir: Path
    work_dir: Path
    variant_build_dir: Path
    tools: dict
    processor: str = "i686"  # of the Windows tree: variants are built for the same

    @property
    def toolchain(self):
        name = "mingw-x86_64.cmake" if self.processor == "x86_64" else "mingw-i686.cmake"
        return self.source_dir / "cmake" / name

    @classmethod
    def load(cls, path):
        raw = json.loads(Path(path).read_text(encoding="utf-8"))
        return cls(
            source_dir=Path(raw["source_dir"]),
            binary_dir=Path(raw["binary_dir"]),
            state_dir=Path(raw["state_dir"]),
            work_dir=Path(raw["work_dir"]),
            variant_build_dir=Path(raw["variant_build_dir"]),
            tools={k: Path(v) for k, v in raw["tools"].items()},
            processor=raw.get("processor", "i686"),
        )


# ---------------------------------------------------------------------------------------------
# Things a scenario makes

@dataclass(frozen=True)
class Product:
    """A sample product package; `msi` is its file once built."""
    name: str
    code: str
    upgrade_code: str
    component_guid: str
    language: int
    version: str
    folder: str
    payload: str
    msi: Path = None

    def upgraded(self, version, payload=None):
        """The same product at another version (same codes, so a patch can join them)."""
        return replace(self, version=version, payload=payload if payload is not None else f"payload {version}\n",
                       msi=None)


@dataclass(frozen=True)
class Box:
    caption: str
    text: str
    icon: str = "none"
    buttons: tuple = ("OK",)

    @classmethod
    def from_json(cls, d):
        return cls(d["caption"], d["text"], d["icon"], tuple(d["buttons"]))

    def __str__(self):
        return f"[{self.icon}] {self.caption!r}: {self.text!r} {list(self.buttons)}"


@dataclass
class RunResult:
    command: list
    boxes: list
    exit_code: int
    ended: str
    seconds: float
    new_temp_files: list
    box_ms: list = field(default_factory=list)
    stderr: str = ""
    # The program's top-level windows as the watcher first saw them (a box never read shows here).
    windows: list = field(default_factory=list)


def deployment_switches_in(args):
    """True when update.exe's scan of `args` meets /quiet, /passive, /norestart, /log or /check: the scan
    ends at /i or /pi, and /e and /log take the argument after them."""
    args = [str(a).lower() for a in args]
    i = 0
    while i < len(args):
        if args[i] in ("/i", "/pi"):
            return False
        if args[i] in ("/quiet", "/passive", "/norestart", "/log", "/check"):
            return True
        i += 2 if args[i] == "/e" else 1
    return False


@contextlib.contextmanager
def temporary_folder(t, windows_path):
    """Runs with the user's %TEMP% and %TMP% set to `windows_path` (Wine takes them from the
    registry, not from the Unix environment)."""
    key = "HKCU\\Environment"
    _, before, _ = t.wine(["reg", "query", key, "/v", "TEMP"])
    original = before.strip().splitlines()[-1].split("REG_SZ", 1)[1].strip()
    for name in ("TEMP", "TMP"):
        t.wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", windows_path, "/f"])
    try:
        yield
    finally:
        for name in ("TEMP", "TMP"):
            t.wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", original, "/f"])


def new_guid():
    return "{" + str(uuid.uuid4()).upper() + "}"


# ---------------------------------------------------------------------------------------------

class Case:
    """What one scenario works with: its own folder, the Wine environment and the tools."""

    def __init__(self, name, cfg, env, work):
        self.name = name
        self.cfg = cfg
        self.env = env
        self.work = work
        self._runs = 0
        self._products = 0
        self._patches = 0

    # -- checks ----------------------------------------------------------------------------

    def check(self, condition, message):
        if not condition:
            raise Failure(message)

    def equal(self, actual, expected, what):
        if actual != expected:
            raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")

    def same_bytes(self, actual_path, expected_path, what=None):
        what = what or f"{actual_path}"
        self.check(Path(actual_path).is_file(), f"{what}: {actual_path} was not written")
        a, e = Path(actual_path).read_bytes(), Path(expected_path).read_bytes()
        self.check(a == e, f"{what}: {len(a)} bytes differ from the {len(e)} bytes of {expected_path}")

    # -- paths -----------------------------------------------------------------------------

    def path(self, name):
        """A file or folder of this scenario (its parent folder exists)."""
        p = self.work / name
        p.parent.mkdir(parents=True, exist_ok=True)
        return p

    def windows_path(self, path):
        """How a Linux path (e.g. from `path`) is named inside Wine."""
        return to_windows(path)

    def c_drive(self, relative):
        """(Linux path, Windows path) of a place on drive C: of the prefix."""
        rel = relative.replace("\\", "/").strip("/")
        return self.env.drive_c() / rel, "C:\\" + rel.replace("/", "\\")

    def in_profile(self, relative):
        """(Linux path, Windows path) of a place in the user's profile folder (C:\\users\\<user>, the
        start of the user's %TEMP%): an elevated run uses a temporary folder of the user's only there."""
        profile = "\\".join(self.env.temp_win.split("\\")[:3])
        return self.c_drive(profile[3:] + "\\" + relative)

    def temp_files(self):
        """Names of the entries in the user's temporary folder."""
        t = self.env.temp_unix
        return sorted(p.name for p in t.iterdir()) if t.is_dir() else []

    def clear_temp(self):
        t = self.env.temp_unix
        if t.is_dir():
            for p in t.iterdir():
                if p.is_dir() and not p.is_symlink():
                    shutil.rmtree(p, ignore_errors=True)
                else:
                    p.unlink(missing_ok=True)

    def log_file(self, product_name):
        """The installer log that the updater writes for a product."""
        return self.env.temp_unix / f"{product_name} R2.log"

    # -- Windows programs ------------------------------------------------------------------

    def wine(self, args, timeout=60, display=True, extra_env=None, ok_codes=(0,)):
        """Runs a Windows program of the tests; fails the scenario on a bad exit code.

        With the display by default: Wine ends its desktop process a few seconds after the last
        program, and a program started without a display that opens a window (msiexec, mkpatch)
        would start it again without a graphics driver, so that the next box fails at once."""
        code, out, err = self.env.run(args, timeout=timeout, display=display, extra_env=extra_env)
        shown = " ".join(str(a) for a in args)
        if code is None:
            raise Failure(f"{shown}: no end within {timeout} s")
        if ok_codes is not None and code not in ok_codes:
            raise Failure(f"{shown}: exit code {code}\n{out}{err}")
        return code, out, err

    def tool(self, name):
        return self.cfg.tools[name]

    def probe(self, name):
        """A probe program of tests/e2e/programs/NAME, built in the Windows tree."""
        exe = self.cfg.binary_dir / "probes" / name / f"{name}.exe"
        self.check(exe.is_file(), f"probe {name} is not built: {exe}")
        return exe

    # -- products --------------------------------------------------------------------------

    def make_product(self, name=None, language=1033, version="1.0.0.0", payload=None, code=None):
        """Builds a sample product package (.msi) with one small file; nothing is installed."""
        self._products += 1
        p = Product(
            name=name or f"E2E {self.name} {self._products}",
            code=code or new_guid(),
            upgrade_code=new_guid(),
            component_guid=new_guid(),
            language=language,
            version=version,
            folder=f"E2E-{uuid.uuid4().hex[:12]}",
            payload=payload if payload is not None else f"payload {version}\n",
        )
        return self.build_msi(p)

    def build_msi(self, product):
        """Builds the package of a Product (e.g. one from Product.upgraded)."""
        stem = f"{product.code.strip('{}')[:8]}-{product.version}"
        folder = self.path(f"products/{stem}")
        folder.mkdir(parents=True, exist_ok=True)
        payload = folder / "payload.txt"
        payload.write_text(product.payload, encoding="utf-8")
        values = {
            "ProductCode": product.code, "UpgradeCode": product.upgrade_code,
            "ComponentGuid": product.component_guid, "ProductName": product.name,
            "Language": str(product.language), "Version": product.version, "FolderName": product.folder,
            "PayloadFile": payload.name,  # wixl takes sources relative to where it runs
        }
        # wixl takes non-ASCII text from its -D options badly, so the values are put in directly.
        text = PRODUCT_TEMPLATE.read_text(encoding="utf-8")
        text = re.sub(r"\$\(var\.(\w+)\)", lambda m: xml_escape(values[m.group(1)], {'"': "&quot;"}), text)
        wxs = folder / "product.wxs"
        wxs.write_text(text, encoding="utf-8")
        msi = folder / "product.msi"
        r = subprocess.run(["wixl", "-o", msi.name, wxs.name], cwd=folder, capture_output=True, text=True,
                           timeout=120)
        if r.returncode != 0 or not msi.is_file():
            raise Failure(f"wixl failed for {product.name!r}: {r.stderr.strip()}")
        return replace(product, msi=msi)

    def install(self, product):
        """Installs a product package into the prefix and checks that it is there."""
        self.wine(["msiexec", "/i", to_windows(product.msi), "/qn"], timeout=120)
        info = self.product_info(product.code)
        self.equal(info["state"], 5, f"installed state of {product.name}")
        self.equal(info["VersionString"], product.version, f"installed version of {product.name}")
        return product

    def install_product(self, **kw):
        """make_product + install."""
        return self.install(self.make_product(**kw))

    def uninstall(self, product):
        self.wine(["msiexec", "/x", product.code, "/qn"], timeout=120)

    def product_info(self, code):
        """What Windows Installer says about a product: state, VersionString, ProductName,
        Language, InstallLocation, patches."""
        _, out, _ = self.wine([self.tool("msiprobe"), "info", code])
        return json.loads(out.strip().splitlines()[-1])

    def product_version(self, code):
        """The installed VersionString of a product ("" when it is not installed)."""
        return self.product_info(code)["VersionString"]

    def installed_payload(self, product):
        """Content of the product's installed file, or None when there is none."""
        for pf in ("Program Files (x86)", "Program Files"):
            f = self.env.drive_c() / pf / product.folder / "payload.txt"
            if f.is_file():
                return f.read_text(encoding="utf-8")
        return None

    def package_summary(self, package):
        """Summary information of a package file as Windows Installer reads it."""
        _, out, _ = self.wine([self.tool("msiprobe"), "summary", to_windows(package)])
        return json.loads(out.strip().splitlines()[-1])

    def apply_patch(self, product, patch, log=None):
        """Applies a patch directly through msi.dll (not through update.exe); returns the result.
        Wine gives 0 even when it did not apply the patch: check the product afterwards."""
        args = [self.tool("msiprobe"), "apply", product.code, to_windows(patch)]
        if log:
            args.append(to_windows(log))
        _, out, _ = self.wine(args, timeout=120)
        return json.loads(out.strip().splitlines()[-1])["result"]

    # -- patches ---------------------------------------------------------------------------

    _DEFAULT = object()

    def make_patch(self, base, upgrade, name=None, template=_DEFAULT, keywords=_DEFAULT, patch_code=None,
                   revnumber=None, change_file=True):
        """Makes a patch package from two builds of one product.

        template / keywords: the exact text for the summary information, or None to leave the
        property out; by default the product code and "<new>;<old>,".
        change_file: carry the upgraded file in a cabinet, so that applying replaces it."""
        self._patches += 1
        name = name or f"patch{self._patches}-{base.code[1:9]}-{upgrade.version}.msp"
        out = self.path(f"patches/{name}")
        args = [self.tool("mkpatch"), "--base", to_windows(base.msi), "--upgrade", to_windows(upgrade.msi),
                "--out", to_windows(out)]
        if template is None:
            args.append("--no-template")
        elif template is not self._DEFAULT:
            tfile = out.with_suffix(".template.txt")
            tfile.write_text(template, encoding="utf-8")
            args += ["--template-file", to_windows(tfile)]
        if keywords is None:
            args.append("--no-keywords")
        elif keywords is not self._DEFAULT:
            args += ["--keywords", keywords]
        if patch_code:
            args += ["--patch-code", patch_code]
        if revnumber:
            args += ["--revnumber", revnumber]
        if change_file:
            cab = self._payload_cab(upgrade, out.with_suffix(".cab"))
            args += ["--cab", to_windows(cab), "--cab-file", "payload.txt"]
        self.wine(args, timeout=120)
        self.check(out.is_file(), f"mkpatch wrote no {out}")
        return out

    def make_upgrade_patch(self, product, version, payload=None, **kw):
        """Builds the product at `version` and a patch from `product` to it: (patch, upgraded)."""
        upgraded = self.build_msi(product.upgraded(version, payload))
        return self.make_patch(product, upgraded, **kw), upgraded

    def not_a_package(self, name="not-a-package.msp"):
        out = self.path(f"patches/{name}")
        self.wine([self.tool("mkpatch"), "--not-a-package", "--out", to_windows(out)])
        return out

    def _payload_cab(self, product, cab):
        src = cab.with_suffix(".src")
        shutil.rmtree(src, ignore_errors=True)
        src.mkdir(parents=True)
        # The entry is named by the File table key of the payload.
        (src / "payload.txt").write_text(product.payload, encoding="utf-8")
        r = subprocess.run(["gcab", "-c", "-n", str(cab), "payload.txt"], cwd=src, capture_output=True, text=True,
                           timeout=60)
        if r.returncode != 0:
            raise Failure("gcab failed: " + r.stderr)
        return cab

    # -- update.exe ------------------------------------------------------------------------

    def build_variant(self, global_msp=None, langpack_msp=None, name="update.exe"):
        """Builds update.exe carrying the given packages (either may be None), the way a user
        does, and returns its path in this scenario's folder."""
        out = self.path(name)
        out.unlink(missing_ok=True)
        build_variant(self.cfg, out, global_msp, langpack_msp)
        return out

    def run_update(self, exe, args=(), expect_boxes=None, timeout=60, display=True, extra_env=None):
        """Runs update.exe with `args` (see run_program). A command line without the deployment
        switches must end with exit code 0, whatever happened; every run checks that."""
        result = self.run_program(exe, args, expect_boxes=expect_boxes, timeout=timeout, display=display,
                                  extra_env=extra_env)
        if not deployment_switches_in(args):
            self.equal(result.exit_code, 0, f"exit code of {' '.join(result.command)}")
        return result

    def run_program(self, exe, args=(), expect_boxes=None, timeout=60, display=True, extra_env=None):
        """Runs a Windows program with the box watcher beside it: every message box it shows is
        read and closed with OK. The run ends when the program ends, or fails the scenario after
        `timeout` seconds.

        expect_boxes: None (no check), a number of boxes, or the exact list of Box values.
        display=False runs without a display (a box then fails at once) and without the watcher.
        """
        self._runs += 1
        run = self._runs
        before = set(self.temp_files())
        started = time.time()
        win_args = [str(a) for a in args]
        shots = None
        if not display:
            code, _, err = self.env.run([exe] + win_args, timeout=timeout, display=False, extra_env=extra_env)
            if code is None:
                raise Failure(f"{Path(exe).name} {' '.join(win_args)}: no end within {timeout} s")
            lines, ended = [], "exited"
        else:
            out = self.path(f"runs/{run}-boxes.jsonl")
            cmd = [self.tool("boxwatch"), "--out", to_windows(out), "--timeout", str(int(timeout * 1000))]
            shot_dir = os.environ.get("E2E_SHOTS")
            if shot_dir:
                shots = _Screenshots(Path(shot_dir) / self.name, f"run{run}", self.env)
                cmd += ["--shots", to_windows(shots.signal_dir)]
                shots.start()
            cmd += ["--", to_windows(exe)] + win_args
            try:
                wcode, _, err = self.env.run(cmd, timeout=timeout + 30, display=True, extra_env=extra_env)
            finally:
                if shots:
                    shots.stop()
            self.path(f"runs/{run}-stderr.txt").write_text(err, encoding="utf-8")  # Wine's trace (E2E_WINEDEBUG)
            lines = []
            if out.is_file():
                lines = [json.loads(l) for l in out.read_text(encoding="utf-8").splitlines() if l.strip()]
            end = lines[-1] if lines and "end" in lines[-1] else {}
            ended = end.get("end", "unknown")
            if wcode is None:
                self.env.kill_programs()
                ended = "timeout"
            code = end.get("exit")
            if ended == "not-started":
                raise Failure(f"{exe} could not be started: error {end.get('error')}")
            if ended not in ("exited", "timeout"):
                raise Failure(f"the box watcher ended without a report (exit code {wcode}):\n{err}")
        boxes = [Box.from_json(l) for l in lines if "caption" in l]
        result = RunResult(command=[Path(exe).name] + win_args, boxes=boxes, exit_code=code, ended=ended,
                           seconds=round(time.time() - started, 2), new_temp_files=sorted(set(self.temp_files()) - before),
                           box_ms=[l.get("ms") for l in lines if "caption" in l], stderr=err,
                           windows=[l for l in lines if "window" in l])
        if ended == "timeout":
            shown = "\n  ".join(str(b) for b in boxes) or "none"
            raise Failure(f"{' '.join(result.command)}: did not end within {timeout} s; boxes seen:\n  {shown}")
        if expect_boxes is not None:
            self.expect_boxes(result, expect_boxes)
        return result

    def run_beside(self, exe, args=(), boxes=0, timeout=60, extra_env=None):
        """Runs `wine EXE ARGS` as a user does from a shell, with the watcher started beside it
        to close `boxes` boxes (it watches every process of the prefix). The exit code is the
        one `wine` hands back (modulo 256). A program that shows more boxes than that does not
        end and fails the scenario after `timeout` seconds."""
        self._runs += 1
        run = self._runs
        before = set(self.temp_files())
        started = time.time()
        win_args = [str(a) for a in args]
        out = self.path(f"runs/{run}-boxes.jsonl")
        watcher = None
        if boxes:
            log = open(self.path(f"runs/{run}-watcher.txt"), "wb")
            watcher = subprocess.Popen(
                ["wine", str(self.tool("boxwatch")), "--out", to_windows(out), "--count", str(boxes),
                 "--timeout", str(int(timeout * 1000))],
                env=self.env.env(True, extra_env), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            log.close()
        try:
            code, _, err = self.env.run([exe] + win_args, timeout=timeout, display=True, extra_env=extra_env)
        finally:
            if watcher:
                try:
                    watcher.wait(timeout=timeout + 10)
                except subprocess.TimeoutExpired:
                    watcher.kill()
                    watcher.wait()
        lines = []
        if out.is_file():
            lines = [json.loads(l) for l in out.read_text(encoding="utf-8").splitlines() if l.strip()]
        result = RunResult(command=[Path(exe).name] + win_args, boxes=[Box.from_json(l) for l in lines if "caption" in l],
                           exit_code=code, ended="exited" if code is not None else "timeout",
                           seconds=round(time.time() - started, 2),
                           new_temp_files=sorted(set(self.temp_files()) - before),
                           box_ms=[l.get("ms") for l in lines if "caption" in l], stderr=err)
        if code is None:
            self.env.kill_programs()
            shown = "\n  ".join(str(b) for b in result.boxes) or "none"
            raise Failure(f"{' '.join(result.command)}: did not end within {timeout} s; boxes closed:\n  {shown}")
        if len(result.boxes) != boxes:
            self.expect_boxes(result, boxes)
        return result

    def expect_boxes(self, result, expected):
        """Checks the boxes of a run: a count, or the exact Box values in order."""
        seen = "\n  ".join(str(b) for b in result.boxes) or "none"
        if isinstance(expected, int):
            if len(result.boxes) != expected:
                raise Failure(f"{' '.join(result.command)}: expected {expected} box(es), saw {len(result.boxes)}:\n"
                              f"  {seen}")
            return
        expected = [b if isinstance(b, Box) else Box(*b) for b in expected]
        if result.boxes != expected:
            want = "\n  ".join(str(b) for b in expected) or "none"
            windows = "\n  ".join(json.dumps(w, ensure_ascii=False) for w in result.windows) or "none"
            raise Failure(f"{' '.join(result.command)}: boxes differ\n expected:\n  {want}\n seen:\n  {seen}\n"
                          f" exit code {result.exit_code}; the program's windows:\n  {windows}")


class _Screenshots:
    """Takes a PNG of each box while the watcher holds it open (see boxwatch --shots)."""

    def __init__(self, folder, prefix, env):
        self.folder = folder
        self.prefix = prefix
        self.env = env
        self.signal_dir = folder / f".{prefix}-signals"
        shutil.rmtree(self.signal_dir, ignore_errors=True)
        self.signal_dir.mkdir(parents=True)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._loop, daemon=True)

    def start(self):
        self._thread.start()

    def stop(self):
        self._stop.set()
        self._thread.join(timeout=10)
        shutil.rmtree(self.signal_dir, ignore_errors=True)

    def _loop(self):
        n = 1
        while not self._stop.is_set():
            ready = self.signal_dir / f"box-{n}.ready"
            if not ready.is_file():
                time.sleep(0.02)
                continue
            try:
                x, y, w, h = (int(v) for v in ready.read_text().split())
            except ValueError:
                time.sleep(0.02)
                continue
            time.sleep(0.3)  # let Wine finish drawing
            png = self.folder / f"{self.prefix}-box{n}.png"
            subprocess.run(["/usr/bin/import", "-display", self.env.display, "-window", "root",
                            "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(png)],
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
            (self.signal_dir / f"box-{n}.done").write_text("")
            n += 1


# ---------------------------------------------------------------------------------------------
# update.exe variants

def build_variant(cfg, out, global_msp=None, langpack_msp=None):
    """Builds update.exe with the given packages into `out`, through the project's build.sh
    (as a user would), in a build folder kept between runs so that a variant is a relink.
    build.sh needs at least one package; without any the Windows tree is configured with CMake
    directly, with the same options."""
    build_dir = cfg.variant_build_dir
    build_dir.mkdir(parents=True, exist_ok=True)
    env = dict(os.environ)
    env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    with open(build_dir.parent / (build_dir.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        build_sh = cfg.source_dir / "build.sh"
        use_build_sh = build_sh.is_file() and (global_msp or langpack_msp)
        if use_build_sh:
            # Scenarios embed deliberately faulty packages: their findings must not stop the build.
            cmd = ["bash", str(build_sh), "--force", "--build-dir", str(build_dir), "-o", str(out)]
            if cfg.processor == "x86_64":
                cmd.append("--x64")
            if global_msp:
                cmd += ["--global", str(global_msp)]
            if langpack_msp:
                cmd += ["--langpack", str(langpack_msp)]
            steps = [cmd]
        else:
            steps = [
                ["cmake", "-S", str(cfg.source_dir), "-B", str(build_dir), "-G", "Ninja",
                 "--toolchain", str(cfg.toolchain), "-DCMAKE_BUILD_TYPE=Release",
                 f"-DUPDATE_GLOBAL_MSP={global_msp or ''}", f"-DUPDATE_LANGPACK_MSP={langpack_msp or ''}"],
                ["cmake", "--build", str(build_dir), "--target", "update"],
            ]
        log = []
        for cmd in steps:
            r = subprocess.run(cmd, cwd=cfg.source_dir, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                               text=True, timeout=900)
            log.append(r.stdout + r.stderr)
            if r.returncode != 0:
                raise Failure(f"building the variant failed: {' '.join(cmd)}\n" + "".join(log)[-4000:])
        if not use_build_sh:
            shutil.copyfile(build_dir / "update.exe", out)
    if not Path(out).is_file():
        raise Failure(f"building the variant wrote no {out}")


def msp_resources(exe):
    """The packages an executable carries: {"IDR_MSP": bytes, ...}."""
    return {name: data for typ, name, _, data in pe.read(exe).resources() if typ == "MSP"}


# ---------------------------------------------------------------------------------------------
# Running a scenario file

def run_scenarios(argv=None):
    ap = argparse.ArgumentParser(description="Runs end-to-end scenarios under Wine.")
    ap.add_argument("--config", required=True, help="e2e-config.json of the Windows build tree")
    ap.add_argument("-k", dest="pattern", help="run only the scenarios whose name contains this")
    ap.add_argument("--list", action="store_true", help="list the scenarios and stop")
    args = ap.parse_args(argv)

    chosen = [f for f in _SCENARIOS if not args.pattern or args.pattern in f.__name__]
    if args.list:
        for f in chosen:
            print(f.__name__)
        return 0
    cfg = Config.load(args.config)
    group = Path(sys.argv[0]).stem

    # Inside CTest the fixture has made the environment; alone, the script makes its own.
    own_env = not winenv.alive(cfg.state_dir)
    if own_env:
        print(f"setting up a Wine environment in {cfg.state_dir}", flush=True)
        winenv.setup(cfg.state_dir)
    passed = failed = skipped = 0
    try:
        env = winenv.WineEnv.load(cfg.state_dir)
        for fn in chosen:
            work = cfg.work_dir / group / fn.__name__
            shutil.rmtree(work, ignore_errors=True)
            work.mkdir(parents=True)
            case = Case(fn.__name__, cfg, env, work)
            case.clear_temp()
            started = time.time()
            try:
                fn(case)
            except Skip as e:
                skipped += 1
                print(f"SKIP {fn.__name__}: {e}", flush=True)
                continue
            except Failure as e:
                failed += 1
                print(f"FAIL {fn.__name__} ({time.time() - started:.1f} s): {e}", flush=True)
                continue
            except Exception:
                failed += 1
                print(f"FAIL {fn.__name__} ({time.time() - started:.1f} s): error in the scenario\n"
                      + traceback.format_exc(), flush=True)
                continue
            passed += 1
            print(f"PASS {fn.__name__} ({time.time() - started:.1f} s)", flush=True)
    finally:
        if own_env:
            winenv.teardown(cfg.state_dir, keep_prefix=bool(os.environ.get("E2E_KEEP")))
    print(f"{group}: {passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""), flush=True)
    if failed:
        return 1
    if skipped and not passed:
        return 77
    return 0
