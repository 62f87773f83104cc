"""The Wine environment of a test run: one prefix, one Xvfb display, one persistent wineserver.

`setup(state_dir)` makes it and records it in state_dir/state.json; `teardown(state_dir)` ends it.
Scenarios load it with `WineEnv.load(state_dir)` and run Windows programs through `WineEnv.run`.

The prefix is a copy of a prepared template (kept beside the state dir across runs), which is
much faster than creating a new one: a new win64 prefix takes 10-20 s.
"""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

# Bump when the prepared template must be made again (different settings).
TEMPLATE_FORMAT = "4"

# Registry settings of the test prefix:
# - Managed=N lets Wine draw its own window frames, so a watcher reads and closes boxes in well
#   under a second (with the window manager handshake of the default it takes about 2 s each);
# - ShowCrashDialog=0 makes a crashing program end with an exit code instead of a dialog that
#   waits forever;
# - the dialog font falls back to a CJK font of the system (when one is installed, e.g.
#   fonts-wqy-microhei), so that screenshots of Chinese, Japanese and Korean boxes are legible.
_CJK_LINK = ",".join(f"{b:02x}" for b in b"wqy-microhei.ttc,WenQuanYi Micro Hei\0\0")
REGISTRY = f"""REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]
"Tahoma"=hex(7):{_CJK_LINK}
"MS Shell Dlg"=hex(7):{_CJK_LINK}
"Microsoft Sans Serif"=hex(7):{_CJK_LINK}
"""

# No Mono or Gecko downloads (there is no network), no desktop menu entries.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"


class SetupError(Exception):
    pass


def base_env(prefix, display=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix)
    env["WINEDEBUG"] = os.environ.get("E2E_WINEDEBUG", "-all")
    env["WINEDLLOVERRIDES"] = DLL_OVERRIDES
    env.pop("WINESERVER", None)
    if display:
        env["DISPLAY"] = display
    else:
        env.pop("DISPLAY", None)
    return env


def _quiet_run(cmd, env, timeout, what):
    """Runs a command with its output in a temporary file (never a pipe: Wine's background
    services inherit the handles and would keep a pipe open)."""
    with tempfile.TemporaryFile() as out:
        try:
            r = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                               timeout=timeout)
        except subprocess.TimeoutExpired:
            raise SetupError(f"{what}: no answer within {timeout} s")
        out.seek(0)
        text = out.read().decode("utf-8", "replace")
    if r.returncode != 0:
        raise SetupError(f"{what}: exit code {r.returncode}\n{text}")
    return text


def wine_version():
    """Wine's version and which of its 32- and 64-bit parts are installed: a prefix made before
    wine32 was installed must be made again."""
    try:
        version = subprocess.run(["wine", "--version"], capture_output=True, text=True, timeout=30).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        return ""
    parts = [d for d in ("/usr/lib/i386-linux-gnu/wine", "/usr/lib/x86_64-linux-gnu/wine") if os.path.isdir(d)]
    return " ".join([version] + parts)


def check_tools():
    missing = [t for t in ("wine", "wineserver", "wixl", "gcab", "Xvfb") if shutil.which(t) is None]
    if missing:
        raise SetupError("missing tools: " + ", ".join(missing) + " (scripts/install-deps.sh installs them)")


def _make_template(template):
    """Creates a prepared prefix at `template`."""
    tmp = template.with_name(template.name + ".new")
    shutil.rmtree(tmp, ignore_errors=True)
    tmp.parent.mkdir(parents=True, exist_ok=True)
    env = base_env(tmp)
    try:
        _quiet_run(["wineboot", "-i"], env, 300, "wineboot")
        reg = tmp / "e2e-settings.reg"
        reg.write_text(REGISTRY.replace("\n", "\r\n"), encoding="ascii")
        _quiet_run(["wine", "regedit", "/S", "Z:" + str(reg).replace("/", "\\")], env, 120, "regedit")
        reg.unlink()
        # The registry reaches the disk when the wineserver ends.
        _quiet_run(["wineserver", "-w"], env, 120, "wineserver -w")
        user_reg = (tmp / "user.reg").read_text(encoding="utf-8", errors="replace")
        if '"Managed"="N"' not in user_reg:
            raise SetupError("the prefix settings did not reach user.reg")
        (tmp / "e2e-template.json").write_text(
            json.dumps({"format": TEMPLATE_FORMAT, "wine": wine_version()}), encoding="utf-8")
    except BaseException:
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        shutil.rmtree(tmp, ignore_errors=True)
        raise
    shutil.rmtree(template, ignore_errors=True)
    tmp.rename(template)


def _template_ok(template):
    try:
        stamp = json.loads((template / "e2e-template.json").read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return False
    return stamp.get("format") == TEMPLATE_FORMAT and stamp.get("wine") == wine_version()


def _start_xvfb(log_path):
    r, w = os.pipe()
    log = open(log_path, "wb")
    try:
        proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=[w], stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
    finally:
        os.close(w)
        log.close()
    number = b""
    deadline = time.time() + 30
    os.set_blocking(r, False)
    while time.time() < deadline and not number.endswith(b"\n"):
        try:
            chunk = os.read(r, 16)
        except BlockingIOError:
            chunk = None
        if chunk == b"":
            break
        if chunk:
            number += chunk
        else:
            if proc.poll() is not None:
                break
            time.sleep(0.02)
    os.close(r)
    if not number.strip().isdigit():
        proc.kill()
        raise SetupError("Xvfb did not start; see " + str(log_path))
    return proc.pid, ":" + number.strip().decode()


def _kill_pid(pid, sig=signal.SIGTERM):
    try:
        os.kill(pid, sig)
        return True
    except (ProcessLookupError, PermissionError):
        return False


def setup(state_dir, template_dir=None):
    """Makes the environment of a test run in state_dir (an earlier one there is ended first)."""
    check_tools()
    state_dir = Path(state_dir)
    teardown(state_dir)
    state_dir.mkdir(parents=True, exist_ok=True)
    template = Path(template_dir) if template_dir else state_dir.parent / "prefix-template"
    started = time.time()
    if not _template_ok(template):
        _make_template(template)
    prefix = state_dir / "prefix"
    subprocess.run(["cp", "-a", str(template), str(prefix)], check=True)
    (prefix / "e2e-template.json").unlink(missing_ok=True)

    xvfb_pid, display = _start_xvfb(state_dir / "xvfb.log")
    state = {"prefix": str(prefix), "display": display, "xvfb_pid": xvfb_pid}
    (state_dir / "state.json").write_text(json.dumps(state, indent=1), encoding="utf-8")
    env = base_env(prefix, display)
    # One wineserver for the whole run: without it every program start waits for Wine to wind down.
    subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=60)
    # The first program that needs the desktop starts Wine's desktop process, and every program
    # started while it is up shares it with the graphics driver it got (it closes a second after
    # the last one ends): start it now, with the display, for the first programs; WineEnv.run keeps
    # a program run without the display off a desktop that others share.
    _quiet_run(["wine", "rundll32.exe", "user32.dll,GetDesktopWindow"], env, 120, "starting the desktop")
    temp_win = _quiet_run(["wine", "cmd", "/c", "echo %TEMP%"], env, 120, "reading %TEMP%").strip().splitlines()[-1]
    temp_win = temp_win.strip()
    if not temp_win[1:3] == ":\\":
        raise SetupError("unexpected %TEMP%: " + temp_win)
    temp_unix = prefix / ("drive_" + temp_win[0].lower()) / temp_win[3:].replace("\\", "/")
    temp_unix.mkdir(parents=True, exist_ok=True)
    state.update({"temp_win": temp_win, "temp_unix": str(temp_unix), "setup_seconds": round(time.time() - started, 1)})
    (state_dir / "state.json").write_text(json.dumps(state, indent=1), encoding="utf-8")
    return state


def teardown(state_dir, keep_prefix=False):
    """Ends the Wine processes, the wineserver and Xvfb of a run, and removes its prefix."""
    state_dir = Path(state_dir)
    state_file = state_dir / "state.json"
    try:
        state = json.loads(state_file.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        state = None
    if state:
        prefix = Path(state["prefix"])
        if prefix.is_dir():
            env = base_env(prefix)
            try:
                subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=60)
            except subprocess.TimeoutExpired:
                pass
        pid = state.get("xvfb_pid")
        if pid and _kill_pid(pid):
            for _ in range(100):
                if not _kill_pid(pid, 0):
                    break
                time.sleep(0.05)
            else:
                _kill_pid(pid, signal.SIGKILL)
        state_file.unlink(missing_ok=True)
    if not keep_prefix:
        shutil.rmtree(state_dir / "prefix", ignore_errors=True)


def alive(state_dir):
    """Whether state_dir holds the environment of a run that is still up."""
    try:
        state = json.loads((Path(state_dir) / "state.json").read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return False
    return Path(state["prefix"]).is_dir() and _kill_pid(state["xvfb_pid"], 0)


def to_windows(path):
    """A Linux path as Wine sees it through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class WineEnv:
    def __init__(self, state):
        self.prefix = Path(state["prefix"])
        self.display = state["display"]
        self.temp_win = state["temp_win"]
        self.temp_unix = Path(state["temp_unix"])

    @classmethod
    def load(cls, state_dir):
        state = json.loads((Path(state_dir) / "state.json").read_text(encoding="utf-8"))
        return cls(state)

    def env(self, display=True, extra=None):
        e = base_env(self.prefix, self.display if display else None)
        if extra:
            e.update(extra)
        return e

    def drive_c(self):
        return self.prefix / "drive_c"

    def unix_path(self, windows_path):
        """The Linux path of a C:\\ or Z:\\ path of the prefix."""
        p = windows_path.replace("/", "\\")
        drive = p[0].lower()
        rest = p[3:].replace("\\", "/") if p[1:3] == ":\\" else p[2:].replace("\\", "/")
        if drive == "z":
            return Path("/" + rest)
        return self.prefix / ("drive_" + drive) / rest

    def desktop_alive(self):
        """Whether a desktop process (explorer.exe /desktop) of this prefix is running."""
        for proc in Path("/proc").iterdir():
            try:
                if b"explorer.exe" not in (proc / "cmdline").read_bytes():
                    continue
                if f"WINEPREFIX={self.prefix}".encode() in (proc / "environ").read_bytes().split(b"\0"):
                    return True
            except OSError:
                continue
        return False

    def wait_for_no_desktop(self, timeout=15):
        """Waits until the prefix's desktop has closed: Wine closes it a second after its last
        program ended."""
        deadline = time.time() + timeout
        while self.desktop_alive() and time.time() < deadline:
            time.sleep(0.1)

    def run(self, args, timeout=60, display=True, extra_env=None, cwd=None):
        """Runs `wine ARGS...`; returns (exit code, stdout text, stderr text). Exit code None
        means it did not end within `timeout` seconds (it is then killed).

        A program without the display never shares a desktop with one that has it: every
        program of the prefix joins the desktop that is up when it starts, and keeps it up, with
        the graphics driver it was started with. A desktop started without the display would
        make every box of a program joining it fail at once (MessageBoxW returns 0, and a
        program that does not check that ends as if the box had been answered); one started
        with it would show the boxes of a program run without it, and nobody would close them.
        So a run without the display waits for the desktop to close before and after."""
        if not display:
            self.wait_for_no_desktop()
        try:
            return self._run(args, timeout, display, extra_env, cwd)
        finally:
            if not display:
                self.wait_for_no_desktop()

    def _run(self, args, timeout, display, extra_env, cwd):
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(["wine"] + [str(a) for a in args], env=self.env(display, extra_env),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, cwd=cwd)
            try:
                code = proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
                code = None
            out.seek(0)
            err.seek(0)
            return (code, out.read().decode("utf-8", "replace").replace("\r\n", "\n"),
                    err.read().decode("utf-8", "replace").replace("\r\n", "\n"))

    def kill_programs(self):
        """Ends every program still running in the prefix and starts the wineserver again."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
