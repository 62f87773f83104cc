#!/usr/bin/env python3
"""DLLs come from the system folder only: the limit the updater sets at start keeps a DLL planted
beside the program out, the Windows Installer layer loads msi.dll from the system folder on its
own as well, and when msi.dll cannot be loaded at all every query fails cleanly."""
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import new_guid, run_scenarios, scenario  # noqa: E402


def built(t, folder, name):
    exe = t.cfg.binary_dir / "probes" / folder / name
    t.check(exe.is_file(), f"{name} is not built: {exe}")
    return exe


def probe_lines(out):
    return dict(line.split("=", 1) for line in out.replace("\r\n", "\n").splitlines() if "=" in line)


@scenario
def msi_dll_beside_the_program_is_never_loaded(t):
    product = t.install_product(name="Planted DLL", version="1.0.0.0")
    # A downloads folder: the program, a planted msi.dll, and a control program.
    folder = t.path("downloads")
    folder.mkdir(exist_ok=True)
    for source in (built(t, "installer", "installer_probe.exe"), built(t, "planted_dll", "msi.dll"),
                   built(t, "planted_dll", "load_msi_dll.exe")):
        shutil.copy(source, folder / source.name)
    marker = t.path("planted-dll-was-loaded")
    # Prefer a DLL found on the search path over Wine's own, as Windows does for a DLL that
    # is not a known system DLL.
    env = {"PLANTED_DLL_MARKER": t.windows_path(marker), "WINEDLLOVERRIDES": "msi=n,b;mscoree,mshtml="}

    # The control: loading msi.dll by name picks up the planted one, so the marker would show it.
    t.wine([folder / "load_msi_dll.exe"], extra_env=env)
    t.check(marker.exists(), "the control program did not load the planted msi.dll: the check proves nothing")
    marker.unlink()
    # The same load after the updater's start-up limit takes the system's msi.dll.
    t.wine([folder / "load_msi_dll.exe", "--restricted"], extra_env=env)
    t.check(not marker.exists(), "the planted msi.dll was loaded despite the start-up limit")

    # As the updater starts, and with the Windows Installer layer's own loading alone.
    for guard in ([], ["--unguarded-process"]):
        _, out, _ = t.wine([folder / "installer_probe.exe", *guard, "product", product.code], extra_env=env)
        t.check(not marker.exists(), f"the planted msi.dll was loaded {guard}")
        t.equal(probe_lines(out),
                {"installed": "1", "version": "1.0.0.0", "name": "Planted DLL", "language": "1033"},
                f"product read through the system's msi.dll {guard}")


@scenario
def without_msi_dll_every_query_fails_cleanly(t):
    product = t.install_product(name="No Installer Service", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    env = {"WINEDLLOVERRIDES": "msi=d;mscoree,mshtml="}  # msi.dll cannot be loaded
    probe = built(t, "installer", "installer_probe.exe")

    _, out, _ = t.wine([probe, "product", product.code], extra_env=env)
    t.equal(probe_lines(out), {"installed": "0"}, "product query without msi.dll")
    _, out, _ = t.wine([probe, "summary", t.windows_path(patch)], extra_env=env)
    got = probe_lines(out)
    t.equal((got["template-ok"], got["keywords-ok"]), ("0", "0"), "summary reads without msi.dll")
    t.equal((got["template"], got["upgrade"], got["targets"]), ("(untouched)",) * 3, "outputs left alone")
    t.equal(probe_lines(t.wine([probe, "product", new_guid()], extra_env=env)[1]), {"installed": "0"},
            "unknown product without msi.dll")


if __name__ == "__main__":
    sys.exit(run_scenarios())
