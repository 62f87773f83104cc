#!/usr/bin/env python3
"""./build.sh checks real patch packages before it builds: each mistake in Template or Keywords
gives its finding, errors stop the build unless --force, and --inspect prints what the installer
reads (the checks read packages exactly as Wine's Windows Installer does). --sign signs with
Authenticode and verifies; one changed byte breaks the signature; a signed installer still
patches. Certificates are throwaway ones made for each run."""
import fcntl
import re
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "scripts"))
import package_checks  # noqa: E402
from e2elib.scenario import Box, msp_resources, new_guid, run_scenarios, scenario  # noqa: E402


def build_sh(t, *args, out="update.exe"):
    """Runs ./build.sh as a user does, in the folder the variants are built in:
    (exit code, output, path of the installer it was asked to write)."""
    exe = t.path(out)
    exe.unlink(missing_ok=True)
    build_dir = t.cfg.variant_build_dir
    build_dir.mkdir(parents=True, exist_ok=True)
    with open(build_dir.parent / (build_dir.name + ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        r = subprocess.run(["bash", str(t.cfg.source_dir / "build.sh"), "--build-dir", str(build_dir),
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
        ("correct", f"{code};{other}", "1.0.1.0;1.0.0.0,1.0.0.5,", []),
        ("long", long_template, "1.0.1.0;1.0.0.0,", []),
        ("last-version-without-comma", code, "1.0.1.0;0.9.0.0,1.0.0.0", [(E, "version-without-comma")]),
        ("empty-entry", f"{code};;{other}", "1.0.1.0;1.0.0.0,", [(E, "template-empty-entry")]),
        ("space", f"{code}; {other}", "1.0.1.0;1.0.0.0,", [(E, "template-spaces")]),
        ("not-a-code", f"{code};Größe ü", "1.0.1.0;1.0.0.0,", [(E, "template-not-a-code")]),
        ("no-template", None, "1.0.1.0;1.0.0.0,", [(E, "template-missing")]),
        ("no-upgrade-version", code, ";1.0.0.0,", [(E, "keywords-unreadable")]),
        ("no-keywords", code, None, [(E, "keywords-unreadable")]),
        ("upgrade-listed", code, "1.0.1.0;1.0.1.0,1.0.0.0,", [(E, "upgrade-version-listed")]),
        ("three-parts", code, "1.0.1.0;1.0.0.0,7.1.2,", [(W, "version-reads-differently")]),
    ]:
        patch = t.make_patch(product, upgraded, name=f"{name}.msp", template=template, keywords=keywords,
                             change_file=False)
        # The checks read what Windows Installer reads.
        wine = t.package_summary(patch)
        ours = package_checks.read_summary(patch).texts
        t.equal((ours.get(7), ours.get(5)), (wine.get("Template"), wine.get("Keywords")), f"{name}: texts read")

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
    t.equal(findings(output), [("error", "version-without-comma")], "the finding is still shown")
    t.check("building anyway (--force)" in output, f"says that it builds anyway\n{output}")
    t.equal(msp_resources(exe), {"IDR_MSP": patch.read_bytes()}, "packages carried")


@scenario
def a_language_pack_for_products_the_global_package_lacks_is_a_warning(t):
    main = t.make_product(name="Main Product", version="1.0.0.0")
    extra = new_guid()
    glob, _ = t.make_upgrade_patch(main, "1.0.1.0", change_file=False)
    langpack, _ = t.make_upgrade_patch(main, "1.0.1.0", template=f"{main.code};{extra}", change_file=False)
    status, output, exe = build_sh(t, "--global", glob, "--langpack", langpack)
    t.equal((status, findings(output)), (0, [("warning", "language-pack-only-product")]), output)
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
                     '"2.0.0.0" 2.0.0.0']:
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

    # A key that does not belong to the certificate: nothing is written.
    _, other_key = throwaway_certificate(t, "other")
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, other_key, out="mismatched.exe")
    t.check(status != 0 and not exe.is_file(), f"signing with another key: exit {status}\n{output}")


@scenario
def a_signed_installer_still_patches(t):
    product = t.install_product(name="Signed Patch", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0")
    cert, key = throwaway_certificate(t)
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key)
    t.equal(status, 0, f"build.sh --sign\n{output}")
    r = t.run_update(exe, [], expect_boxes=[Box(
        "Installation Successful", "The update was successfully installed and Signed Patch has been updated.",
        "information")])
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "1.0.1.0", "version after the run")
    t.equal(t.installed_payload(product), "payload 1.0.1.0\n", "installed file")


if __name__ == "__main__":
    sys.exit(run_scenarios())
