#!/usr/bin/env python3
"""Bad input to install mode: carried files that are no package, packages with missing, empty or
oversized summary texts, product codes that Windows Installer does not know, an oversized product
name, failing configure calls and an executable without packages. Each ends with its defined box,
exit code 0, the installed product as it was (unless the outcome is that it is patched), and no
temporary package file left behind."""
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from e2elib.catalogue import CATALOGUE, ENGLISH, USER_ENGLISH, message_box  # noqa: E402
from e2elib.pictures import picture  # noqa: E402
from e2elib.scenario import new_guid, run_scenarios, scenario  # noqa: E402

ERROR_RESOURCE_NOT_PRESENT = 4316    # Keywords without a usable ";"
ERROR_RESOURCE_NAME_NOT_FOUND = 1814  # the executable carries no package
ERROR_INSTALL_FAILURE = 1603
REFUSAL = "This product takes no patches"  # the text of the refusing product's own error


def box(message, value=None):
    return message_box(ENGLISH, message, value)


def run(t, exe, args=(), boxes=None):
    r = t.run_update(exe, list(args), expect_boxes=boxes, extra_env=USER_ENGLISH)
    t.equal(r.exit_code, 0, f"exit code of {' '.join(r.command)}")
    left = [n for n in r.new_temp_files if n.upper().startswith("MSP")]
    t.equal(left, [], "package files left in the temporary folder")
    return r


def untouched(t, product, version="1.0.0.0"):
    t.equal(t.product_version(product.code), version, f"version of {product.name}")
    t.equal(t.installed_payload(product), f"payload {version}\n", f"installed file of {product.name}")


def patched(t, product, version):
    t.equal(t.product_version(product.code), version, f"version of {product.name} after the run")
    t.equal(t.installed_payload(product), f"payload {version}\n", f"installed file of {product.name}")


def add_rows(msi, *queries):
    for query in queries:
        r = subprocess.run(["msibuild", str(msi), "-q", query], capture_output=True, text=True, timeout=60)
        if r.returncode != 0:
            raise AssertionError(f"msibuild {msi} -q {query!r}: {r.stderr}")


def own_boxes(r):
    """The boxes of the program, without the ones Windows Installer shows by itself."""
    return [b for b in r.boxes if b.text != REFUSAL]


def refusing_product(t, name):
    """An installed product whose installer refuses every patch: a custom action that ends the
    installation with an error whenever PATCH is set, in both builds so that the patch keeps it."""
    rows = ("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) "
            f"VALUES ('RefusePatches', 19, '', '{REFUSAL}')",
            "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) "
            "VALUES ('RefusePatches', 'PATCH', 1450)")
    product = t.make_product(name=name, version="1.0.0.0")
    add_rows(product.msi, *rows)
    t.install(product)
    upgraded = t.build_msi(product.upgraded("1.1.0.0"))
    add_rows(upgraded.msi, *rows)
    return product, t.make_patch(product, upgraded)


@scenario
def carried_file_that_is_no_package_shows_the_installers_error_code(t):
    product = t.install_product(name="Not A Package Target", version="1.0.0.0")
    bogus = t.not_a_package()
    # The code that Windows Installer gives for opening this file, never "0".
    code = t.package_summary(bogus)["open"]
    t.check(code != 0, "Windows Installer opened a file that is no package")

    r = run(t, t.build_variant(bogus), boxes=[box(300, code)])
    untouched(t, product)
    t.equal(r.new_temp_files, [], "files left in the temporary folder")

    # As the language pack, after a global package that was applied: the failure is shown and
    # no final message claims success.
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    run(t, t.build_variant(patch, bogus), boxes=[box(300, code)])
    patched(t, product, "1.1.0.0")


@scenario
def missing_or_unusable_template_shows_307(t):
    product = t.install_product(name="Template Target", version="1.0.0.0")
    for template in (None, "", ";" + product.code, "not-a-guid;{}", new_guid(), product.code.lower()[1:-1]):
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0", template=template)
        r = run(t, t.build_variant(patch), boxes=[box(307)])
        t.equal(r.new_temp_files, [], f"files left in the temporary folder (Template {template!r})")
        untouched(t, product)


@scenario
def missing_keywords_shows_300_with_4316(t):
    product = t.install_product(name="No Keywords", version="1.0.0.0")
    for keywords in (None, ""):
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0", keywords=keywords)
        run(t, t.build_variant(patch), boxes=[box(300, ERROR_RESOURCE_NOT_PRESENT)])
        untouched(t, product)


@scenario
def template_of_100000_characters_is_walked_to_its_end(t):
    product = t.install_product(name="Example Product", version="1.0.0.0")
    unknown = []
    while sum(len(c) + 1 for c in unknown) + len(product.code) < 100_000:
        unknown.append(new_guid())
    template = ";".join(unknown[:-1] + [product.code])
    template += ";" + "x" * (100_000 - len(template) - 1)  # an unknown last entry, to the exact length
    t.equal(len(template), 100_000, "length of the Template")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", template=template)
    t.equal(t.package_summary(patch)["Template"], template, "Template as Windows Installer reads it")
    picture(t, "applied-en", run(t, t.build_variant(patch), boxes=[box(301, product.name)]))
    patched(t, product, "1.1.0.0")


@scenario
def product_name_of_10000_characters_is_patched(t):
    name = ("Long Product Name " * 600)[:10_000]
    product = t.make_product(name="Short Name", version="1.0.0.0")
    t.wine([t.tool("msiprobe"), "setprop", t.windows_path(product.msi), "ProductName", name])
    t.install(product)
    t.equal(t.product_info(product.code)["ProductName"], name, "the product's registered name")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    r = run(t, t.build_variant(patch), boxes=1)
    patched(t, product, "1.1.0.0")

    # Message 301, with the name cut or left out, never past the box's text.
    head, tail = CATALOGUE[ENGLISH][301].split("%s")
    shown = r.boxes[0]
    t.equal((shown.caption, shown.icon), (CATALOGUE[ENGLISH][312], "information"), "caption and icon")
    t.check(shown.text.startswith(head) and shown.text.endswith(tail), f"not message 301: {shown}")
    middle = shown.text[len(head):len(shown.text) - len(tail)]
    t.check(name.startswith(middle.rstrip("\u2026")) and 0 < len(middle) < 1024,
            f"name shown: {len(middle)} characters: {middle[:80]!r}")
    # The whole name was read: its log is named by it, cut to fit.
    logs = [n for n in r.new_temp_files if n.endswith(" R2.log")]
    t.check(len(logs) == 1 and name.startswith(logs[0][:-len(" R2.log")]) and len(logs[0]) > 200,
            f"logs: {logs}")


@scenario
def failing_configure_calls_show_their_code_and_the_run_goes_on(t):
    # Windows Installer shows the product's refusal in a box of its own, then the program its
    # failure message with the installer's result.
    refusing, refused_patch = refusing_product(t, "Refusing Product")
    r = run(t, t.build_variant(refused_patch))
    t.equal(own_boxes(r), [box(300, ERROR_INSTALL_FAILURE)], "the program's boxes")
    untouched(t, refusing)

    # Two targets of one package: the first refuses (1603), the second is patched all the same,
    # and no message of success follows the failure.
    willing = t.install_product(name="Willing Product", version="1.0.0.0")
    upgraded = t.build_msi(willing.upgraded("1.1.0.0"))
    both = t.make_patch(willing, upgraded, template=f"{refusing.code};{willing.code}")
    r = run(t, t.build_variant(both))
    t.equal(own_boxes(r), [box(300, ERROR_INSTALL_FAILURE)], "the program's boxes")
    untouched(t, refusing)
    patched(t, willing, "1.1.0.0")

    # A product whose installation source and cached package are gone: Windows Installer's own
    # code is shown.
    cache = t.env.drive_c() / "windows" / "Installer"
    before = set(cache.glob("*.msi"))
    lost = t.install_product(name="Lost Source", version="1.0.0.0")
    lost_patch, _ = t.make_upgrade_patch(lost, "1.1.0.0")
    for cached in set(cache.glob("*.msi")) - before:
        cached.unlink()
    lost.msi.unlink()
    code = t.apply_patch(lost, lost_patch)
    t.check(code not in (0, 1641, 3010), f"the installer applied a patch without a source: {code}")
    run(t, t.build_variant(lost_patch), boxes=[box(300, code)])
    untouched(t, lost)


@scenario
def executable_without_packages_says_so(t):
    exe = t.build_variant()
    run(t, exe, boxes=[box(300, ERROR_RESOURCE_NAME_NOT_FOUND)])
    r = t.run_update(exe, ["/q"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code with /q")
    t.equal(r.new_temp_files, [], "files left in the temporary folder with /q")


if __name__ == "__main__":
    sys.exit(run_scenarios())
