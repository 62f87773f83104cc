#!/usr/bin/env python3
"""./build.sh checks real patch packages before it builds: each mistake in Template, Keywords or
the patch's transforms gives its finding, errors stop the build unless --force, and --inspect
prints what the installer reads (the checks read packages exactly as Wine's Windows Installer
does). --sign signs with Authenticode and verifies; one changed byte breaks the signature; a
signed installer still patches. The vendor's names, version and icon are read back from the
built installer. Certificates are throwaway ones made for each run."""
import fcntl
import json
import re
import struct
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "packaging"))
import version_resource  # noqa: E402
from e2elib import pe  # noqa: E402
from e2elib.scenario import Box, msp_resources, new_guid, run_scenarios, scenario  # noqa: E402

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


def build_sh(t, *args, out="update.exe"):
    """Runs ./build.sh as a user does, in the folder the variants are built in:
    (exit code, output, path of the installer it was asked to write)."""
    exe = t.path(out)
    exe.unlink(missing_ok=True)
    build_dir = t.cfg.variant_build_dir
    build_dir.mkdir(parents=True, exist_ok=True)
    with open(build_dir.parent / (build_dir.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        # The installer is built for the architecture of the Windows tree the tests run from.
        cache = t.cfg.binary_dir / "CMakeCache.txt"
        arch = ["--x64"] if cache.is_file() and "mingw-x86_64" in cache.read_text(errors="replace") else []
        r = subprocess.run(["bash", str(t.cfg.source_dir / "build.sh"), "--build-dir", str(build_dir), *arch,
                            "-o", str(exe), *map(str, args)], stdin=subprocess.DEVNULL, capture_output=True,
                           text=True, timeout=900)
    return r.returncode, r.stdout + r.stderr, exe


def findings(output):
    """(severity, kind) of each finding line."""
    return sorted(re.findall(r"^(error|warning): .* \[([a-z-]+)\]$", output, re.M))


@scenario
def each_mistake_in_a_real_package_gives_its_finding(t):
    product = t.make_product(name="Package Checks", version="1.0.0.0")
    upgraded = t.build_msi(product.upgraded("1.0.1.0"))
    code, other = product.code, new_guid()
    long_template = ";".join([code] + [new_guid() for _ in range(60)])
    E, W = "error", "warning"
    for name, template, keywords, expected in [
        ("correct", code, "1.0.1.0;1.0.0.0,1.0.0.5,", []),
        ("long", long_template, "1.0.1.0;1.0.0.0,", [(E, "template-product-without-transform")] * 60),
        ("last-version-without-comma", code, "1.0.1.0;0.9.0.0,1.0.0.0",
         [(E, "version-without-comma"), (E, "target-version-not-applicable")]),
        ("empty-entry", f"{code};;{other}", "1.0.1.0;1.0.0.0,", [(E, "template-empty-entry")]),
        ("space", f"{code}; {other}", "1.0.1.0;1.0.0.0,", [(E, "template-spaces")]),
        ("not-a-code", f"{code};Größe ü", "1.0.1.0;1.0.0.0,", [(E, "template-not-a-code")]),
        ("no-template", None, "1.0.1.0;1.0.0.0,", [(E, "template-missing"), (W, "transform-product-not-in-template")]),
        ("no-upgrade-version", code, ";1.0.0.0,", [(E, "keywords-unreadable")]),
        ("no-keywords", code, None, [(E, "keywords-unreadable")]),
        ("upgrade-listed", code, "1.0.1.0;1.0.1.0,1.0.0.0,", [(E, "upgrade-version-listed")]),
        ("three-parts", code, "1.0.1.0;1.0.0.0,7.1.2,", [(W, "version-reads-differently")]),
    ]:
        patch = t.make_patch(product, upgraded, name=f"{name}.msp", template=template, keywords=keywords,
                             change_file=False)
        # The checks read what Windows Installer reads.
        wine = t.package_summary(patch)
        t.equal(checks_read(t, patch), (wine.get("Template"), wine.get("Keywords")), f"{name}: texts read")

        status, output, exe = build_sh(t, "--global", patch, out=f"{name}.exe")
        t.equal(findings(output), sorted(expected), f"{name}: findings of build.sh\n{output}")
        errors = any(severity == E for severity, _ in expected)
        t.equal((status, exe.is_file()), (1, False) if errors else (0, True), f"{name}: built\n{output}")
        if errors:
            t.check(f"global package {patch}" in output, f"{name}: the finding names the package\n{output}")

    status, output, _ = build_sh(t, "--global", t.not_a_package())
    t.equal((status, findings(output)), (1, [(E, "not-a-package")]), f"a file that is no package\n{output}")


@scenario
def errors_stop_the_build_unless_forced(t):
    product = t.make_product(name="Forced Build", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", keywords="1.0.1.0;1.0.0.0", change_file=False)
    status, output, exe = build_sh(t, "--global", patch)
    t.equal((status, exe.is_file()), (1, False), f"without --force\n{output}")
    t.check("nothing was built" in output, f"says that nothing was built\n{output}")
    status, output, exe = build_sh(t, "--global", patch, "--force")
    t.equal(status, 0, f"with --force\n{output}")
    t.equal(findings(output), [("error", "target-version-not-applicable"), ("error", "version-without-comma")],
            "the findings are still shown")
    t.check("building anyway (--force)" in output, f"says that it builds anyway\n{output}")
    t.equal(msp_resources(exe), {"IDR_MSP": patch.read_bytes()}, "packages carried")


@scenario
def a_language_pack_for_products_the_global_package_lacks_is_a_warning(t):
    main = t.make_product(name="Main Product", version="1.0.0.0")
    extra = new_guid()
    glob, _ = t.make_upgrade_patch(main, "1.0.1.0", change_file=False)
    langpack, _ = t.make_upgrade_patch(main, "1.0.1.0", template=f"{main.code};{extra}", change_file=False)
    status, output, exe = build_sh(t, "--global", glob, "--langpack", langpack, "--force")
    # No transform of the language pack is for the extra product either: an error of its own.
    t.equal((status, findings(output)), (0, [("error", "template-product-without-transform"),
                                             ("warning", "language-pack-only-product")]), output)
    t.check(extra in output and f"language-pack package {langpack}" in output, f"names product and package\n{output}")
    t.equal(sorted(msp_resources(exe)), ["IDR_MSP", "IDR_MSP_LP"], "packages carried")


@scenario
def inspect_prints_what_the_installer_reads(t):
    product = t.make_product(name="Inspected", version="1.0.0.0")
    codes = [product.code, new_guid(), new_guid()]
    patch, _ = t.make_upgrade_patch(product, "2.0.0.0", template=f"{codes[0]};{codes[1]};;{codes[2]}",
                                    keywords="2.0.0.0;1.0.0.0,1.5,1.9.0.0", change_file=False)
    r = subprocess.run(["bash", str(t.cfg.source_dir / "build.sh"), "--inspect", str(patch)],
                       capture_output=True, text=True, timeout=60)
    t.equal(r.returncode, 0, f"exit code\n{r.stdout}{r.stderr}")
    lines = [" ".join(line.split()) for line in r.stdout.splitlines()]
    for expected in [f'"{codes[0]}"', f'"{codes[1]}"', f'"{codes[2]}" never visited: an empty entry comes before it',
                     '"1.0.0.0" 1.0.0.0', '"1.5" 1.0.0.0', '"1.9.0.0" never examined: no "," follows it',
                     '"2.0.0.0" 2.0.0.0', f'T1: {codes[0]} "1.0.0.0" (1.0.0.0) -> {codes[0]} "2.0.0.0" (2.0.0.0)',
                     'ProductName: "msp-bootstrap" (the installer\'s own)',
                     'FileVersion and ProductVersion: "2.0.0.0" (Keywords of the global package)']:
        t.check(expected in lines, f"--inspect shows {expected!r}:\n{r.stdout}")

# -- signing ------------------------------------------------------------------------------------

def throwaway_certificate(t, name="signer"):
    """A self-signed code-signing certificate and its key, valid for two days."""
    cert, key = t.path(f"{name}.crt"), t.path(f"{name}.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out",
                    str(cert), "-days", "2", "-subj", f"/CN=msp-bootstrap test {name}",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True, timeout=60)
    return cert, key


def verifies(exe, cert):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(exe)], capture_output=True,
                       text=True, timeout=60)
    return r.returncode == 0 and "Signature verification: ok" in r.stdout


@scenario
def a_signed_installer_verifies_and_a_changed_byte_does_not(t):
    product = t.make_product(name="Signed Update", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    cert, key = throwaway_certificate(t)
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key)
    t.equal(status, 0, f"build.sh --sign\n{output}")
    t.check(verifies(exe, cert), "the signed installer does not verify")
    t.equal(msp_resources(exe), {"IDR_MSP": patch.read_bytes()}, "packages carried")

    data = exe.read_bytes()
    inside_package = data.find(patch.read_bytes()[:4096]) + 2048
    for what, offset in [("in the code", len(data) // 4), ("in the carried package", inside_package)]:
        changed = bytearray(data)
        changed[offset] ^= 0x01
        tampered = t.path(f"tampered-{offset}.exe")
        tampered.write_bytes(changed)
        t.check(not verifies(tampered, cert), f"a byte changed {what} still verifies")

    # The signature's description is ASCII text: a name with other letters is left out of it.
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key, "--product-name", "Größe 7",
                                   out="non-ascii.exe")
    t.equal((status, signature_description(exe)), (0, None), f"a name that is not plain ASCII\n{output}")
    t.check("signature carries no description" in output, f"says so\n{output}")

    # A key that does not belong to the certificate: nothing is written.
    _, other_key = throwaway_certificate(t, "other")
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, other_key, out="mismatched.exe")
    t.check(status != 0 and not exe.is_file(), f"signing with another key: exit {status}\n{output}")


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


@scenario
def a_branded_signed_installer_carries_the_vendor_names_and_still_patches(t):
    product = t.install_product(name="Signed Patch", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0")
    project = subprocess.run(["bash", str(t.cfg.source_dir / "build.sh"), "--version"], capture_output=True,
                             text=True, timeout=60).stdout.strip()
    t.check(re.fullmatch(r"[0-9]+\.[0-9]+\.[0-9]+", project), f"build.sh --version prints {project!r}")

    # Nothing given: the version comes from Keywords; the project's own stands beside it.
    status, output, exe = build_sh(t, "--global", patch, out="plain.exe")
    t.equal(status, 0, f"build.sh\n{output}")
    file_version, product_version, strings, icons = version_information(exe)
    t.equal((file_version, product_version), ((1, 0, 1, 0), (1, 0, 1, 0)), "fixed versions from Keywords")
    t.equal({k: strings.get(k) for k in ("FileVersion", "ProductVersion", "ProductName", "BootstrapVersion")},
            {"FileVersion": "1.0.1.0", "ProductVersion": "1.0.1.0", "ProductName": "msp-bootstrap",
             "BootstrapVersion": project}, "version strings without options")
    t.check('FileVersion and ProductVersion:   "1.0.1.0"  (Keywords of the global package)' in output,
            f"build.sh prints where the version came from\n{output}")

    # Everything given, signed: read back from the file and its signature, then run.
    icon = t.path("vendor.ico")
    image = icon_file(icon, b"\x20\x80\xf0\xff")
    cert, key = throwaway_certificate(t)
    vendor = {"--product-name": "Contoso Widget 7", "--company": "Contoso \"Tools\" Ltd.",
              "--description": "Contoso Widget update", "--copyright": "© 2026 Contoso", "--version": "7.3.0.12"}
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key, "--icon", icon,
                                   *[x for kv in vendor.items() for x in kv])
    t.equal(status, 0, f"build.sh --sign with branding\n{output}")
    t.check(verifies(exe, cert), "the branded installer does not verify")
    file_version, product_version, strings, icons = version_information(exe)
    t.equal((file_version, product_version), ((7, 3, 0, 12), (7, 3, 0, 12)), "fixed versions")
    t.equal({k: strings.get(k) for k in ("ProductName", "CompanyName", "FileDescription", "LegalCopyright",
                                         "FileVersion", "ProductVersion", "BootstrapVersion")},
            {"ProductName": vendor["--product-name"], "CompanyName": vendor["--company"],
             "FileDescription": vendor["--description"], "LegalCopyright": vendor["--copyright"],
             "FileVersion": "7.3.0.12", "ProductVersion": "7.3.0.12", "BootstrapVersion": project},
            "version strings")
    t.equal(icons, [image], "icon images")
    t.equal(signature_description(exe), "Contoso Widget 7", "description in the signature")

    r = t.run_update(exe, [], expect_boxes=[Box(
        "Installation Successful", "The update was successfully installed and Signed Patch has been updated.",
        "information")])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "1.0.1.0", "version after the run")
    t.equal(t.installed_payload(product), "payload 1.0.1.0\n", "installed file")


@scenario
def bad_branding_is_refused_before_anything_is_built(t):
    product = t.make_product(name="Refused Branding", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    not_an_icon = t.path("not-an-icon.ico")
    not_an_icon.write_bytes(b"GIF89a" + bytes(40))
    for args, message in [
        (["--version", "2.1.6"], '--version "2.1.6" is not a version of four numbers of at most 65535'),
        (["--icon", not_an_icon], "not an icon file (.ico)"),
    ]:
        status, output, exe = build_sh(t, "--global", patch, *args, out="refused.exe")
        t.equal((status, exe.is_file()), (1, False), f"{args[0]}: refused\n{output}")
        t.check(message in output and "nothing was built" in output, f"{args[0]}: says why\n{output}")


@scenario
def transforms_of_real_patches_give_their_findings(t):
    E, W = "error", "warning"
    # A patch between three-part versions: the installer reads 2.1.5 and 2.1.6 both as 2.1.0.0.
    three = t.make_product(name="Three Parts", version="2.1.5")
    patch, _ = t.make_upgrade_patch(three, "2.1.6", change_file=False)
    status, output, _ = build_sh(t, "--global", patch, out="three.exe")
    t.equal((status, [f for f in findings(output) if f[0] == E]),
            (1, [(E, "upgrade-version-listed"), (E, "versions-read-alike")]), f"three-part versions\n{output}")
    t.check('with Keywords "2.1.6.0;2.1.0.0,"' in output, f"says what to write instead\n{output}")

    product = t.make_product(name="Transform Checks", version="1.0.0.0")
    upgraded = t.build_msi(product.upgraded("1.1.0.0"))
    other = new_guid()
    for name, template, keywords, expected in [
        ("keywords-miss-target", product.code, "1.1.0.0;0.9.0.0,", [(E, "target-version-not-applicable")]),
        ("upgrade-differs", product.code, "1.2.0.0;1.0.0.0,", [(E, "upgrade-version-differs")]),
        ("template-misses-target", other, "1.1.0.0;1.0.0.0,",
         [(E, "template-product-without-transform"), (W, "transform-product-not-in-template")]),
    ]:
        patch = t.make_patch(product, upgraded, name=f"{name}.msp", template=template, keywords=keywords,
                             change_file=False)
        status, output, _ = build_sh(t, "--global", patch, out=f"{name}.exe")
        t.equal((status, findings(output)), (1, sorted(expected)), f"{name}\n{output}")


if __name__ == "__main__":
    sys.exit(run_scenarios())
