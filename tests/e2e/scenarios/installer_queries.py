#!/usr/bin/env python3
"""The product's own Windows Installer layer against Wine's msi.dll: a real patch package's
Template and Keywords read back exactly (the retry path for long texts included), unreadable
files leave the outputs alone, and installed products report name, language and version."""
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import new_guid, run_scenarios, scenario  # noqa: E402


def probe(t, *args):
    """Runs the installer probe; its `key=value` lines as a dict."""
    exe = t.cfg.binary_dir / "probes" / "installer" / "installer_probe.exe"
    t.check(exe.is_file(), f"the installer probe is not built: {exe}")
    _, out, _ = t.wine([exe, *args])
    return dict(line.split("=", 1) for line in out.replace("\r\n", "\n").splitlines() if "=" in line)


def summary(t, package):
    return probe(t, "summary", t.windows_path(package))


@scenario
def template_and_keywords_of_a_real_patch_read_back_exactly(t):
    product = t.make_product(name="Summary Reader", version="1.0.0.0")
    codes = [product.code, new_guid(), new_guid()]
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", template=";".join(codes),
                                    keywords="1.0.1.0;1.0.0.0,1.0.0.5,", change_file=False)
    got = summary(t, patch)
    t.equal(got["template-ok"], "1", "Template read")
    t.equal(got["template"], ";".join(codes), "Template")
    t.equal(got["keywords-ok"], "1", "Keywords read")
    t.equal(got["upgrade"], "1.0.1.0", "upgrade version")
    t.equal(got["targets"], "1.0.0.0,1.0.0.5,", "applicable versions")

    # Longer than the first 2048-character read: the second read gets all of it.
    many = [new_guid() for _ in range(80)]
    long_template = ";".join(many)
    t.check(len(long_template) > 2048, "the long Template must exceed 2048 characters")
    patch, _ = t.make_upgrade_patch(product, "1.0.2.0", template=long_template,
                                    keywords="1.0.2.0; 1.0.0.0 ,;x,", change_file=False)
    got = summary(t, patch)
    t.equal(got["template"], long_template, "Template of 2,900 characters")
    t.equal((got["upgrade"], got["targets"]), ("1.0.2.0", " 1.0.0.0 ,;x,"), "Keywords split at the first ';'")


@scenario
def malformed_or_missing_packages_leave_outputs_untouched(t):
    product = t.make_product(name="Malformed Packages", version="1.0.0.0")

    # Keywords without ";": 4316, and the versions are not touched.
    patch, _ = t.make_upgrade_patch(product, "1.0.1.0", keywords="1.0.1.0", change_file=False)
    got = summary(t, patch)
    t.equal((got["keywords-ok"], got["last-error"]), ("0", "4316"), "Keywords without ';'")
    t.equal((got["upgrade"], got["targets"]), ("(untouched)", "(untouched)"), "versions after the failure")
    t.equal(got["template"], product.code, "Template of the same package")

    # No Template at all: read as empty text.
    patch, _ = t.make_upgrade_patch(product, "1.0.2.0", template=None, change_file=False)
    got = summary(t, patch)
    t.equal((got["template-ok"], got["template"]), ("1", ""), "package without Template")

    # Not a package, and no file at all.
    for path in (t.not_a_package(), t.path("no-such-file.msp")):
        got = summary(t, path)
        t.equal((got["template-ok"], got["keywords-ok"]), ("0", "0"), f"reads of {path.name}")
        t.equal((got["template"], got["upgrade"], got["targets"]), ("(untouched)",) * 3,
                f"outputs after reading {path.name}")


@scenario
def installed_products_report_name_language_and_version(t):
    product = t.install_product(name="Produkt Größe", language=1031, version="3.2.1.0")
    got = probe(t, "product", product.code)
    t.equal(got, {"installed": "1", "version": "3.2.1.0", "name": "Produkt Größe", "language": "1031"},
            "installed product")
    t.equal(probe(t, "product", new_guid()), {"installed": "0"}, "unknown product code")
    # The code is passed as written: a space in front makes it another product.
    t.equal(probe(t, "product", " " + product.code), {"installed": "0"}, "code with a leading space")
    t.uninstall(product)
    t.equal(probe(t, "product", product.code), {"installed": "0"}, "after uninstalling")


if __name__ == "__main__":
    sys.exit(run_scenarios())
