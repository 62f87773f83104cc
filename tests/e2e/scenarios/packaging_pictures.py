#!/usr/bin/env python3
"""The situations the README shows pictures of, each with the box the user gets. Run by
docs/make-pictures.sh with screenshots, they make the pictures; run as tests, they check that
the current build still shows what the pictures show (docs/pictures/boxes.json)."""
import json
import os
import re
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
sys.path.insert(0, str(HERE.parent / "programs" / "catalogue"))
from catalogue import filled, read_catalogue  # noqa: E402
from e2elib.scenario import run_scenarios, scenario  # noqa: E402

CATALOGUE = read_catalogue(HERE.parents[2] / "res" / "strings")
PICTURES = HERE.parents[2] / "docs" / "pictures"
ENGLISH, GERMAN = 1033, 1031
USER_ENGLISH = {"LANG": "en_US.UTF-8", "LC_ALL": "en_US.UTF-8"}
# Fixed product codes for the report, so that its picture stays the same from run to run; the
# products are never installed.
EXAMPLE = "{399EF217-6621-471E-A3FB-D78892574763}"
BEISPIEL = "{C5D7A08B-7CCA-4096-AA5E-C0A4F91C4B7D}"
LANGUAGE_PACK = "{DB6A4D11-289F-4435-BA9B-EF0969F53535}"


def comparable(text):
    """The box text without the line of the running Windows, which depends on Wine's version."""
    return re.sub(r"(OSInfo:\n\t).*", r"\1...", text)


def picture(t, name, result, language, message, value=None):
    """The one box of the last run is the README's picture `name` and shows `message` of the
    catalogue (None: any text). Making pictures (E2E_SHOTS set), note which PNG shows it;
    otherwise check that the picture still shows what this build shows."""
    t.equal(len(result.boxes), 1, f"boxes of the run for {name}.png")
    box = result.boxes[0]
    if message is not None:
        text = CATALOGUE[language][message]
        expected = filled(text, "%d" if message == 300 else "%s", value) if value is not None else text
        t.equal(box.text, expected, f"text of message {message}")
    shown = {"caption": box.caption, "text": comparable(box.text), "icon": box.icon}
    shots = os.environ.get("E2E_SHOTS")
    if shots:
        with open(Path(shots) / "pictures.jsonl", "a", encoding="utf-8") as f:
            f.write(json.dumps({"name": name, "png": f"{t.name}/run{t._runs}-box1.png", **shown}) + "\n")
        return
    pictured = json.loads((PICTURES / "boxes.json").read_text(encoding="utf-8")).get(name)
    t.equal(shown, pictured, f"docs/pictures/{name}.png differs from this build; make the pictures again "
            "with docs/make-pictures.sh")


@scenario
def patched_german_product_then_up_to_date(t):
    product = t.install_product(name="Beispielprodukt", language=GERMAN, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    picture(t, "applied-de", t.run_update(exe, extra_env=USER_ENGLISH), GERMAN, 301, "Beispielprodukt")
    picture(t, "up-to-date", t.run_update(exe, extra_env=USER_ENGLISH), ENGLISH, 306, "Beispielprodukt")


@scenario
def patched_english_product(t):
    product = t.install_product(name="Example Product", language=ENGLISH, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    picture(t, "applied-en", t.run_update(exe, extra_env=USER_ENGLISH), ENGLISH, 301, "Example Product")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")


@scenario
def no_target_product_installed(t):
    product = t.make_product(name="Example Product", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", change_file=False)
    exe = t.build_variant(patch)
    picture(t, "not-installed", t.run_update(exe, extra_env=USER_ENGLISH), ENGLISH, 307)


@scenario
def installed_version_not_listed(t):
    product = t.install_product(name="Example Product", language=ENGLISH, version="1.0.0.0")
    # The last version lacks its ",", so 1.0.0.0 is never examined (build.sh --force).
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", keywords="1.1.0.0;0.9.0.0,1.0.0.0", change_file=False)
    exe = t.build_variant(patch)
    picture(t, "wrong-version", t.run_update(exe, extra_env=USER_ENGLISH), ENGLISH, 308, "Example Product")
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the run")


@scenario
def package_that_cannot_be_read(t):
    product = t.install_product(name="Example Product", language=ENGLISH, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", keywords="1.1.0.0", change_file=False)
    exe = t.build_variant(patch)
    picture(t, "error", t.run_update(exe, extra_env=USER_ENGLISH), ENGLISH, 300, "4316")


@scenario
def information_report(t):
    product = t.make_product(name="Example Product", version="1.0.0.0", code=EXAMPLE)
    langpack = t.make_product(name="Example Product German", language=GERMAN, version="1.0.0.0",
                              code=LANGUAGE_PACK)
    glob, _ = t.make_upgrade_patch(product, "1.1.0.0", template=f"{EXAMPLE};{BEISPIEL}",
                                   keywords="1.1.0.0;1.0.0.0,1.0.1.0,", change_file=False)
    lp, _ = t.make_upgrade_patch(langpack, "1.1.0.0", template=f"{LANGUAGE_PACK}", change_file=False)
    exe = t.build_variant(glob, lp)
    r = t.run_update(exe, ["/i"], extra_env=USER_ENGLISH)
    picture(t, "report", r, ENGLISH, None)
    t.check(r.boxes[0].text.startswith(f"Global MSP\n\nProducts:\n{EXAMPLE}\n{BEISPIEL}\nTarget:\n\t1.0.0.0,1.0.1.0,"),
            f"the report's global section:\n{r.boxes[0].text}")


if __name__ == "__main__":
    sys.exit(run_scenarios())
