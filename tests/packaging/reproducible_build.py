"""Rebuilds an installer bit for bit: ./build.sh with the same package and options, run from two
copies of the source in different folders, with different build folders, days apart on the clock
(faketime), must write the same bytes, and neither holds the folders it was built in; signed and
with the signature removed again (osslsigncode), it is those bytes still. The 32- and 64-bit
installers are hardened as shipped (read from their headers). A package of an odd size put into
the linked program (cmake/add_packages.py) is carried whole, with the checksum osslsigncode computes.

    reproducible_build.py OUT

leaves the installers in OUT for the layout test: update-i686.exe and update-x86_64.exe, both
carrying OUT/package.msp."""
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2elib import pe  # noqa: E402

# DLLs that Windows keeps in its KnownDLLs list: always loaded from the system folder.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll",
              "rpcrt4.dll", "sechost.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "ws2_32.dll"}


def hardening_faults(exe):
    """What the installer lacks of ASLR (high-entropy on x64), DEP and Terminal-Server awareness, a
    load configuration (its size as its directory gives it) whose DependentLoadFlags keep the
    loader's resolution of imports to the system folder, the CET shadow-stack mark (an extended
    DLL-characteristics debug entry), and imports from KnownDLLs only."""
    image, faults = pe.read(exe), []
    wanted = 0x8140 | (0x20 if image.pe32_plus else 0)
    if image.dll_characteristics & wanted != wanted:
        faults.append(f"DllCharacteristics {image.dll_characteristics:#x}, not all of {wanted:#x}")
    rva, size = image.dirs[10]
    flags = 78 if image.pe32_plus else 54
    if not rva or struct.unpack_from("<I", image.data, image.offset(rva))[0] != size or size < flags + 2 or \
            struct.unpack_from("<H", image.data, image.offset(rva) + flags)[0] != 0x800:
        faults.append("no load configuration with DependentLoadFlags 0x800")
    rva, size = image.dirs[6]
    debug = [struct.unpack_from("<12xII4xI", image.data, image.offset(rva) + at) for at in range(0, size if rva else 0, 28)]
    if not any(kind == 20 and length >= 4 and image.data[raw] & 1 for kind, length, raw in debug):
        faults.append("not marked compatible with CET shadow stacks")
    faults += [f"imports {name}, not a KnownDLL" for name in sorted(set(image.imported_dlls()) - KNOWN_DLLS)]
    return faults


def build(source, build_dir, exe, package, *options, clock=None):
    command = ["bash", str(source / "build.sh"), "--global", str(package), "--force", "--build-dir", str(build_dir),
               "-o", str(exe), *options]
    if clock:
        command = ["faketime", "-f", clock, *command]
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    r = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, env=env, timeout=900)
    if r.returncode != 0:
        sys.exit(f"{' '.join(command)} failed ({r.returncode}):\n{r.stdout}{r.stderr}")
    print(f"built {exe}" + (f" with the clock at {clock}" if clock else ""))


def main(out):
    shutil.rmtree(out, ignore_errors=True)
    copies = [out / "one" / "msp-bootstrap", out / "elsewhere" / "checkout" / "msp-bootstrap"]
    for copy in copies:
        shutil.copytree(ROOT, copy, symlinks=True, ignore=shutil.ignore_patterns("build", ".git", "__pycache__"))
    # A small real package: an installation database, which the checks refuse as a patch (--force).
    package = out / "package.msp"
    subprocess.run(["msibuild", str(package), "-s", "Reproducible", "Vendor", "{11111111-1111-1111-1111-111111111111}",
                    "{22222222-2222-2222-2222-222222222222}"], check=True, timeout=60)
    first, second = out / "update-i686.exe", out / "again" / "update.exe"
    second.parent.mkdir()
    build(copies[0], out / "build-one", first, package)
    build(copies[1], out / "other-build-folder", second, package, clock="+3d")
    build(copies[0], out / "build-x64", out / "update-x86_64.exe", package, "--x64")

    a, b = first.read_bytes(), second.read_bytes()
    if a != b:
        differ = [hex(i) for i in range(min(len(a), len(b))) if a[i] != b[i]]
        sys.exit(f"the two builds differ: sizes {len(a)} and {len(b)}, bytes at {', '.join(differ[:20])}")
    # What a vendor ships is signed: with the signature taken away again, it is the rebuilt file
    # (osslsigncode writes the header's checksum as it computes it).
    key, cert = out / "k.pem", out / "c.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out", str(cert),
                    "-days", "2", "-subj", "/CN=rebuild test", "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, capture_output=True, timeout=120)

    def signed_and_unsigned(exe):
        signed, unsigned = exe.with_suffix(".signed"), exe.with_suffix(".unsigned")
        for command in (["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in", exe, "-out", signed],
                        ["osslsigncode", "remove-signature", "-in", signed, "-out", unsigned]):
            subprocess.run(list(map(str, command)), check=True, capture_output=True, timeout=120)
        return unsigned.read_bytes()
    if signed_and_unsigned(first) != b:
        sys.exit("a signed installer with its signature removed is not the rebuilt one")
    # A package of an odd size, past the checksum's first block, put into the linked program: carried
    # whole, and the checksum is osslsigncode's; one without its placeholder, or into an image with
    # data after its last section (a signature), is refused.
    odd, exe = out / "odd.msp", out / "odd.exe"
    odd.write_bytes(os.urandom((1 << 20) + 4097))
    add = [sys.executable, str(ROOT / "cmake" / "add_packages.py"), str(out / "build-one" / "update-linked.exe"), str(exe)]
    subprocess.run(add + [f"IDR_MSP={odd}"], check=True, timeout=120)
    carried = {(kind, name): data for kind, name, _, data in pe.read(exe).resources()}
    if carried.get(("MSP", "IDR_MSP")) != odd.read_bytes() or signed_and_unsigned(exe) != exe.read_bytes():
        sys.exit(f"{exe}: the package is not carried whole, or the checksum is not osslsigncode's")
    for linked, name, says in ((add[2], "IDR_MSP_LP", "no placeholder resource MSP/IDR_MSP_LP"),
                               (str(first.with_suffix(".signed")), "IDR_MSP", "data after its last section")):
        r = subprocess.run([*add[:2], linked, str(exe), f"{name}={odd}"], capture_output=True, text=True, timeout=120)
        if r.returncode == 0 or says not in r.stderr:
            sys.exit(f"{name} into {linked}: not refused with \"{says}\": {r.stderr}")
    # The size fence of the 32-bit build without packages: 384 KiB, the package on whole pages beside it.
    if len(a) - -(-package.stat().st_size // 4096) * 4096 > 384 * 1024:
        sys.exit(f"{first} is {len(a)} bytes: more than 384 KiB without its package")
    for exe in (first, out / "update-x86_64.exe"):
        image = exe.read_bytes()
        if any(text in image for text in (str(out).encode(), str(out).encode("utf-16-le"))):
            sys.exit(f"{exe} holds the folder it was built in, {out}")
        if hardening_faults(exe):
            sys.exit(f"{exe}: " + "; ".join(hardening_faults(exe)))
    print(f"the two builds are the same {len(a)} bytes; no build folder in either installer; both hardened")


if __name__ == "__main__":
    main(Path(sys.argv[1]).resolve())
