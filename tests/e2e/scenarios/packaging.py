#!/usr/bin/env python3
"""./build.sh checks real patch packages before it builds: each mistake in Template, Keywords or
the patch's transforms gives its finding, errors stop the build unless --force, and --inspect
prints what the installer reads (the checks read packages exactly as Wine's Windows Installer
does)."""
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "packaging"))
from e2elib.scenario import msp_resources, new_guid, run_scenarios, scenario  # noqa: E402
from installer_builds import build_sh, checks_read, findings  # noqa: E402


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
