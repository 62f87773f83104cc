"""What the packaging scenarios share: build.sh run as a user runs it, its findings, throwaway
signing certificates, and what a built installer carries (version information, icon images,
the signature's description)."""
import fcntl
import json
import os
import re
import struct
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import version_resource  # noqa: E402

from e2elib import pe  # noqa: E402

# The package checks need Debian's olefile, which only the system's Python sees.
SYSTEM_PYTHON = "/usr/bin/python3"


def checks_read(t, package):
    """Template and Keywords as the package checks read them (None where absent)."""
    code = ("import json, sys; sys.path.insert(0, sys.argv[1]); import package_checks as pc; "
            "s = pc.read_summary(sys.argv[2]); print(json.dumps([s.texts.get(7), s.texts.get(5)]))")
    r = subprocess.run([SYSTEM_PYTHON, "-B", "-c", code, str(t.cfg.source_dir / "scripts"), str(package)],
                       capture_output=True, text=True, timeout=60)
    t.equal(r.returncode, 0, f"reading {package} with the package checks: {r.stderr}")
    return tuple(json.loads(r.stdout))


def build_sh(t, *args, out="update.exe", env=None):
    """Runs ./build.sh as a user does, in the folder the variants are built in (with env added to
    the environment): (exit code, output, path of the installer it was asked to write)."""
    exe = t.path(out)
    exe.unlink(missing_ok=True)
    build_dir = t.cfg.variant_build_dir
    build_dir.mkdir(parents=True, exist_ok=True)
    with open(build_dir.parent / (build_dir.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The installer is built for the processor of the Windows tree the tests run from.
        arch = ["--x64"] if t.cfg.processor == "x86_64" else []
        r = subprocess.run(["bash", str(t.cfg.source_dir / "build.sh"), "--build-dir", str(build_dir), *arch,
                            "-o", str(exe), *map(str, args)], stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, timeout=900, env={**os.environ, **(env or {})})
    return r.returncode, r.stdout + r.stderr, exe


def findings(output):
    """(severity, kind) of each finding line."""
    return sorted(re.findall(r"^(error|warning): .* \[([a-z-]+)\]$", output, re.M))


def throwaway_certificate(t, name="signer", usage="codeSigning", ca=False):
    """A self-signed certificate for code signing (or another usage, or none; with ca, a root that
    issues certificates) and its key, valid for two days."""
    cert, key = t.path(f"{name}.crt"), t.path(f"{name}.key")
    root = ["-addext", "basicConstraints=critical,CA:true", "-addext", "keyUsage=critical,keyCertSign"] if ca else []
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out",
                    str(cert), "-days", "2", "-subj", f"/CN=msp-bootstrap test {name}",
                    *(["-addext", f"extendedKeyUsage={usage}"] if usage else []), *root], check=True,
                   capture_output=True, timeout=60)
    return cert, key


def issued_certificate(t, name, root, root_key):
    """A code-signing certificate issued by the root certificate root (key root_key), and its key."""
    cert, key, extensions = t.path(f"{name}.crt"), t.path(f"{name}.key"), t.path(f"{name}.ext")
    extensions.write_text("extendedKeyUsage=codeSigning\nbasicConstraints=CA:false\n")
    request = subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-subj",
                              f"/CN=msp-bootstrap test {name}"], check=True, capture_output=True, timeout=60).stdout
    subprocess.run(["openssl", "x509", "-req", "-CA", str(root), "-CAkey", str(root_key), "-set_serial", "2",
                    "-days", "2", "-extfile", str(extensions), "-out", str(cert)], input=request, check=True,
                   capture_output=True, timeout=60)
    return cert, key


def verifies(exe, cert, tsa_cert=None):
    """The signature verifies with cert as the root; with tsa_cert, it carries a SHA-256 time stamp
    whose signer leads to tsa_cert."""
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(exe)]
                       + (["-TSA-CAfile", str(tsa_cert)] if tsa_cert else []), capture_output=True, text=True,
                       timeout=60)
    stamped = "Timestamp Server Signature verification: ok" in r.stdout and "Hash Algorithm: sha256" in r.stdout
    return r.returncode == 0 and "Signature verification: ok" in r.stdout and (stamped or not tsa_cert)


def icon_file(path, colour):
    """A 16x16 icon of one colour; returns the image data that the icon resource must hold."""
    image = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, 0, 0, 0, 0, 0) + colour * 256 + b"\0" * 64
    path.write_bytes(struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 22)
                     + image)
    return image


def version_information(exe):
    """(fixed file version, fixed product version, strings, icon images) of a built installer."""
    resources = pe.read(exe).resources()
    info = version_resource.read(resources)
    return info.file_version, info.product_version, info.strings, [d for typ, _, _, d in resources if typ == 3]


def signature_description(exe):
    r = subprocess.run(["osslsigncode", "verify", "-in", str(exe)], capture_output=True, text=True, timeout=60)
    m = re.search(r"^\s*Text description: (.*)$", r.stdout, re.M)
    return m.group(1) if m else None
