#!/usr/bin/env python3
"""The test patch builder makes real patch packages, and the malformed ones that other scenarios need.

Wine's msi.dll answers 0 to MsiConfigureProductEx even for a patch it did not apply, so every
check here reads the product afterwards (version, file content, registered patches).
"""
import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import new_guid, run_scenarios, scenario  # noqa: E402

GUID = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$")


@scenario
def patch_really_upgrades_an_installed_product(t):
    product = t.install_product(name="Prüfprodukt Basis", language=1031, version="1.0.0.0",
                                payload="erste Fassung\n")
    patch, upgraded = t.make_upgrade_patch(product, "1.0.1.0", payload="zweite Fassung, länger\n")

    summary = t.package_summary(patch)
    t.equal(summary["open"], 0, "opening the patch's summary")
    t.equal(summary["Template"], product.code, "Template")
    t.equal(summary["Keywords"], "1.0.1.0;1.0.0.0,", "Keywords")
    t.equal(summary["LastAuthor"], ":T1", "LastAuthor")
    t.check(GUID.match(summary["RevNumber"]), f"RevNumber is not a patch code: {summary['RevNumber']!r}")

    log = t.path("apply.log")
    t.equal(t.apply_patch(product, patch, log), 0, "MsiConfigureProductEx result")
    info = t.product_info(product.code)
    t.equal(info["VersionString"], "1.0.1.0", "version after the patch")
    t.equal(t.installed_payload(product), "zweite Fassung, länger\n", "installed file after the patch")
    t.equal(info["patches"], [summary["RevNumber"]], "patches registered for the product")
    t.check(log.is_file() and log.stat().st_size > 0, "the verbose log was not written")


@scenario
def patch_without_cabinet_changes_only_the_version(t):
    product = t.install_product(version="2.0.0.0", payload="unchanged\n")
    patch, _ = t.make_upgrade_patch(product, "2.0.0.1", payload="never installed\n", change_file=False)
    t.apply_patch(product, patch)
    t.equal(t.product_version(product.code), "2.0.0.1", "version after the patch")
    t.equal(t.installed_payload(product), "unchanged\n", "installed file")


@scenario
def patch_for_other_products_is_not_applied(t):
    # Wine still answers 0 here: only reading the product tells that nothing happened.
    product = t.install_product(version="3.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "3.0.1.0", template=new_guid())
    t.apply_patch(product, patch)
    t.equal(t.product_version(product.code), "3.0.0.0", "version after a patch for another product")
    t.equal(t.installed_payload(product), "payload 3.0.0.0\n", "installed file")


@scenario
def summary_information_is_written_verbatim(t):
    base = t.make_product(version="1.0.0.0")
    upgraded = t.build_msi(base.upgraded("1.1.0.0"))
    other = new_guid()
    long_template = ";".join(new_guid() for _ in range(60)) + ";" + base.code
    shapes = {
        "several-targets": dict(template=f"{base.code};{other}", keywords="1.1.0.0;1.0.0.0,1.0.5.0,"),
        "keywords-without-separator": dict(keywords="1.1.0.0"),
        "keywords-starting-with-separator": dict(keywords=";1.0.0.0,"),
        "long-template": dict(template=long_template),
        "no-template": dict(template=None),
        "no-keywords": dict(keywords=None),
    }
    for name, kw in shapes.items():
        summary = t.package_summary(t.make_patch(base, upgraded, name=f"{name}.msp", change_file=False, **kw))
        t.equal(summary["open"], 0, f"{name}: opening the summary")
        template = kw.get("template", base.code)
        keywords = kw.get("keywords", "1.1.0.0;1.0.0.0,")
        t.equal(summary.get("Template"), template, f"{name}: Template")
        t.equal(summary.get("Keywords"), keywords, f"{name}: Keywords")
    t.check(len(long_template) > 2048, "the long Template must exceed the first read buffer")

    code = new_guid()
    fixed = t.make_patch(base, upgraded, name="fixed-code.msp", patch_code=code, change_file=False)
    t.equal(t.package_summary(fixed)["RevNumber"], code, "RevNumber with a given patch code")


@scenario
def a_file_that_is_not_a_package_is_refused(t):
    summary = t.package_summary(t.not_a_package())
    t.equal(summary["open"], 1627, "opening the summary of a text file")


if __name__ == "__main__":
    sys.exit(run_scenarios())
