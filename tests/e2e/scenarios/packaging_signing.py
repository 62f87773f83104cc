#!/usr/bin/env python3
"""./build.sh --sign signs with Authenticode and verifies; one changed byte breaks the signature.
A key kept in a (software) token signs through its PKCS#11 module, with a time stamp from a
responder on the loopback interface, and each way that can fail is one line and leaves the output
as it was; only a chain that leads to a trusted root signs. The vendor's names, version and icon,
and the project's own version, are read back from the built installer and its signature, and a
branded, signed installer still patches; bad branding and packages too large to start are refused
before anything is built. Certificates are throwaway ones made for each run."""
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "packaging"))
from e2elib.scenario import Box, msp_resources, run_scenarios, scenario  # noqa: E402
from installer_builds import (build_sh, icon_file, issued_certificate, signature_description,  # noqa: E402
                              throwaway_certificate, verifies, version_information)
from signing_token import on_terminal, softhsm_token, timestamp_responder  # noqa: E402


@scenario
def a_signed_installer_verifies_and_a_changed_byte_does_not(t):
    product = t.make_product(name="Signed Update", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    cert, key = throwaway_certificate(t)
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key, "--ca", cert)
    t.equal(status, 0, f"build.sh --sign\n{output}")
    t.check(verifies(exe, cert), "the signed installer does not verify")
    t.equal(output.count("note: no time stamp"), 1, f"a signature without a time stamp is noted once\n{output}")
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
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key, "--ca", cert, "--product-name", "Größe 7",
                                   out="non-ascii.exe")
    t.equal((status, signature_description(exe)), (0, None), f"a name that is not plain ASCII\n{output}")
    t.check("signature carries no description" in output, f"says so\n{output}")

    # A key that does not belong to the certificate: nothing is written.
    _, other_key = throwaway_certificate(t, "other")
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, other_key, "--ca", cert, out="mismatched.exe")
    t.check(status != 0 and not exe.is_file(), f"signing with another key: exit {status}\n{output}")


@scenario
def a_key_in_a_token_signs_with_a_time_stamp_and_each_failure_is_one_line(t):
    product = t.install_product(name="Token Signed", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0")
    # The command lines and environments of the signing tool and of the build steps before it are
    # recorded, and the scripts traced (bash -x): the PIN must be in none of them.
    seen = t.path("osslsigncode-arguments")
    for tool in ("osslsigncode", "cmake"):
        spy = t.path(f"bin/{tool}")
        spy.write_text(f'#!/bin/sh\nprintf "%s\\n" "$*" >>"{seen}"\nenv >>"{seen}"\nexec {shutil.which(tool)} "$@"\n')
        spy.chmod(0o755)
    with softhsm_token(t) as token, timestamp_responder(t) as tsa:
        env = {**token.env, "PATH": f"{spy.parent}:{os.environ['PATH']}"}
        sign = ["--sign", token.cert, token.uri, "--pkcs11-module", token.module, "--ca", token.cert]
        status, output, exe = build_sh(t, "--global", patch, *sign, "--timestamp", tsa.url, "--timestamp-ca",
                                       tsa.cert, env={**env, "UPDATE_SIGN_PIN": token.pin, "SHELLOPTS": "xtrace"})
        t.equal(status, 0, f"build.sh signing through the token\n{output}")
        t.check(verifies(exe, token.cert, tsa.cert), "the installer does not verify with a SHA-256 time stamp")
        t.check("+ " in output and "no time stamp" not in output and token.pin not in output + seen.read_text(),
                f"the PIN in a trace, a command line or an environment, or a note on a missing time stamp\n{output}")
        unsigned = shutil.copy(t.cfg.variant_build_dir / "update.exe", t.path("unsigned.exe"))

        # Each failure of scripts/sign.sh: one line naming it, exit 1, the output left as it was.
        pin, wrong_pin, out = t.path("pin"), t.path("wrong-pin"), t.path("signed.exe")
        pin.write_text(token.pin + "\n")
        wrong_pin.write_text("000000\n")
        uri, module, ca = token.uri, ["--pkcs11-module", token.module], ["--ca", token.cert]
        # A private PKI: a code-signing certificate issued by a root of its own.
        root, root_key = throwaway_certificate(t, "private-root", ca=True)
        leaf, leaf_key = issued_certificate(t, "leaf", root, root_key)
        chain = t.path("leaf-and-root.pem")
        chain.write_text(leaf.read_text() + root.read_text())
        server, server_key = throwaway_certificate(t, "server", usage="serverAuth")
        plain, plain_key = throwaway_certificate(t, "plain", usage=None)
        for args, says in [
            ([*ca, "--pkcs11-module", t.path("none.so"), token.cert, uri], "no such PKCS#11 module"),
            ([*ca, "--pkcs11-module", token.cert, token.cert, uri], "is not a PKCS#11 module"),
            ([*ca, *module, token.cert, uri.replace("token=", "token=other-")], "no token matching pkcs11:token=other-"),
            ([*ca, *module, token.cert, uri + "-other"], "the token has no private key matching"),
            ([*ca, "--pin-file", wrong_pin, *module, token.cert, uri], "the token refused the PIN"),
            ([*ca, *module, token.cert, uri + ";pin-value=" + token.pin], "the key's URI carries the PIN"),
            ([*ca, "--timestamp", tsa.closed_url, *module, token.cert, uri], "could not be reached (Connection refused)"),
            ([*ca, "--timestamp", tsa.url + "nonsense", *module, token.cert, uri],
             "did not answer with an RFC 3161 time stamp"),
            ([*ca, "--timestamp", tsa.url, "--timestamp-ca", token.cert, *module, token.cert, uri],
             f"not verify against {token.cert}"),
            ([*ca, "--timestamp", tsa.url, *module, token.cert, uri], "does not verify against the system's trusted roots"),
            # No certificate in CERT vouches for itself: not a private root after the leaf.
            ([chain, leaf_key], "does not lead to a root in the system's trusted roots (self-signed"),
            (["--ca", token.cert, chain, leaf_key], f"does not lead to a root in {token.cert}"),
            (["--ca", server, server, server_key], "is not for code signing: its extended key usage is TLS Web Server"),
            (["--ca", plain, plain, plain_key], "is not for code signing: it names no extended key usage"),
        ]:
            out.write_bytes(b"the previous one")
            r = subprocess.run(["bash", str(t.cfg.source_dir / "scripts/sign.sh"), "--pin-file", str(pin),
                                *map(str, args), str(unsigned), str(out)],
                               capture_output=True, text=True, timeout=300, env=env)
            lines = (r.stdout + r.stderr).splitlines()
            t.check((r.returncode, len(lines), out.read_bytes()) == (1, 1, b"the previous one") and says in lines[0],
                    f"{says}: exit {r.returncode}, output left {out.read_bytes()[:16]!r}\n" + "\n".join(lines))
        # With the private root given, the chain leads to it: signed and verified.
        r = subprocess.run(["bash", str(t.cfg.source_dir / "scripts/sign.sh"), "--ca", str(root), str(chain),
                            str(leaf_key), str(unsigned), str(out)], capture_output=True, text=True, timeout=300)
        t.check(r.returncode == 0 and verifies(out, root), f"signing for a private root with --ca\n{r.stderr}")
        # A token that asks for its PIN on the terminal gets it there; the terminal does not show it.
        out.unlink()
        status, shown = on_terminal(["bash", str(t.cfg.source_dir / "scripts/sign.sh"), *ca, *module,
                                     str(token.cert), uri, str(unsigned), str(out)], env, answer=token.pin)
        t.check(status == 0 and verifies(out, token.cert) and "PIN" in shown and token.pin not in shown,
                f"the PIN asked for on the terminal: exit {status}\n{shown}")
        # build.sh asks sign.sh to check its arguments before it builds anything.
        status, output, refused = build_sh(t, "--global", patch, *sign[:4], t.path("none.so"), out="no.exe", env=env)
        t.check(status == 1 and not refused.is_file() and "no such PKCS#11 module" in output, output)

    r = t.run_update(exe, [], expect_boxes=[Box(
        "Installation Successful", "The update was successfully installed and Token Signed has been updated.",
        "information")])
    t.equal((r.exit_code, t.product_version(product.code)), (0, "1.0.1.0"), "exit code and version after the run")


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
    status, output, exe = build_sh(t, "--global", patch, "--sign", cert, key, "--ca", cert, "--icon", icon,
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
def bad_branding_or_too_large_packages_are_refused_before_anything_is_built(t):
    product = t.make_product(name="Refused Branding", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", change_file=False)
    not_an_icon = t.path("not-an-icon.ico")
    not_an_icon.write_bytes(b"GIF89a" + bytes(40))
    # A language pack of 2 GiB, no disk space taken (a sparse file): no installer Windows can start.
    too_large = t.path("too-large.msp")
    with open(too_large, "wb") as f:
        f.truncate(2 << 30)
    for args, message in [
        (["--version", "2.1.6"], '--version "2.1.6" is not a version of four numbers of at most 65535'),
        (["--icon", not_an_icon], "not an icon file (.ico)"),
        (["--langpack", too_large, "--force"], f"the packages total {patch.stat().st_size + (2 << 30)} bytes, more than"),
    ]:
        status, output, exe = build_sh(t, "--global", patch, *args, out="refused.exe")
        t.equal((status, exe.is_file()), (1, False), f"{args[0]}: refused\n{output}")
        t.check(message in output and "nothing was built" in output, f"{args[0]}: says why\n{output}")


if __name__ == "__main__":
    sys.exit(run_scenarios())
