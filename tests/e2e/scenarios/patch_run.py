#!/usr/bin/env python3
"""Install mode end to end: update.exe applies its packages to real installed products through
Wine's Windows Installer and tells the outcome in the product's language. Several of these boxes
are the documentation's pictures (e2elib/pictures.py)."""
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))
from e2elib.catalogue import (ENGLISH, FRENCH, GERMAN, USER_ENGLISH, USER_GERMAN,  # noqa: E402
                              message_box as box)
from e2elib.pictures import picture  # noqa: E402
from e2elib.scenario import run_scenarios, scenario  # noqa: E402



def no_package_left(t, run):
    left = [n for n in run.new_temp_files if n.startswith("MSP")]
    t.equal(left, [], "package files left in the temporary folder")


@scenario
def german_product_is_patched_once_then_up_to_date(t):
    product = t.install_product(name="Beispielprodukt", language=GERMAN, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)  # no language pack carried

    r = t.run_update(exe, [], expect_boxes=[box(GERMAN, 301, "Beispielprodukt")], extra_env=USER_ENGLISH)
    picture(t, "applied-de", r)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    t.equal(t.installed_payload(product), "payload 1.1.0.0\n", "installed file after the run")
    log = t.log_file("Beispielprodukt")
    t.check(log.is_file() and log.stat().st_size > 0, f"no verbose log at {log}")
    t.equal(r.new_temp_files, ["Beispielprodukt R2.log"], "files left in the temporary folder")

    # Again: nothing to do, said in the user's own language.
    r = t.run_update(exe, [], expect_boxes=[box(ENGLISH, 306, "Beispielprodukt")], extra_env=USER_ENGLISH)
    picture(t, "up-to-date", r)
    no_package_left(t, r)
    t.run_update(exe, [], expect_boxes=[box(GERMAN, 306, "Beispielprodukt")], extra_env=USER_GERMAN)
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the repeated runs")


@scenario
def quiet_mode_patches_without_a_box(t):
    product = t.install_product(name="Quiet Product", version="2.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "2.0.1.0")
    exe = t.build_variant(patch)
    r = t.run_update(exe, ["/Q"], expect_boxes=0)
    t.equal(r.exit_code, 0, "exit code")
    t.equal(t.product_version(product.code), "2.0.1.0", "version after the quiet run")
    t.check(t.log_file("Quiet Product").is_file(), "the quiet run left no log")
    no_package_left(t, r)


@scenario
def both_packages_are_applied(t):
    main = t.install_product(name="Hauptprodukt", language=GERMAN, version="1.0.0.0")
    pack = t.install_product(name="Pack linguistique", language=FRENCH, version="1.0.0.0")
    global_patch, _ = t.make_upgrade_patch(main, "1.1.0.0")
    langpack_patch, _ = t.make_upgrade_patch(pack, "1.1.0.0")
    exe = t.build_variant(global_patch, langpack_patch)
    # The final message names the global package's product, in the language the last run left.
    r = t.run_update(exe, [], expect_boxes=[box(FRENCH, 301, "Hauptprodukt")], extra_env=USER_ENGLISH)
    t.equal(t.product_version(main.code), "1.1.0.0", "version of the main product")
    t.equal(t.product_version(pack.code), "1.1.0.0", "version of the language pack")
    t.equal(sorted(r.new_temp_files), ["Hauptprodukt R2.log", "Pack linguistique R2.log"], "logs, and nothing else")


@scenario
def one_target_up_to_date_and_one_patched(t):
    current = t.install_product(name="Already Current", version="1.1.0.0")
    older = t.install_product(name="Still Older", language=GERMAN, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(older, "1.1.0.0", template=f"{current.code};{older.code}")
    exe = t.build_variant(patch)
    t.run_update(exe, [], expect_boxes=[box(GERMAN, 301, "Still Older")], extra_env=USER_ENGLISH)
    t.equal(t.product_version(older.code), "1.1.0.0", "version of the older product")
    t.equal(t.product_version(current.code), "1.1.0.0", "version of the current product")
    t.check(not t.log_file("Already Current").exists(), "the current product got a configure call")


@scenario
def no_installed_target_shows_307_and_stops(t):
    absent = t.make_product(name="Never Installed", version="1.0.0.0")
    pack = t.install_product(name="Language Pack", version="1.0.0.0")
    global_patch, _ = t.make_upgrade_patch(absent, "1.1.0.0")
    langpack_patch, _ = t.make_upgrade_patch(pack, "1.1.0.0")
    exe = t.build_variant(global_patch, langpack_patch)
    r = t.run_update(exe, [], expect_boxes=[box(ENGLISH, 307)], extra_env=USER_ENGLISH)
    picture(t, "not-installed", r)
    t.equal(t.product_version(pack.code), "1.0.0.0", "the language pack must not be touched")
    t.equal(r.new_temp_files, [], "files left in the temporary folder")


@scenario
def installed_version_not_in_the_list_shows_308(t):
    product = t.install_product(name="Produit ancien", language=FRENCH, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.2.0.0", keywords="1.2.0.0;1.1.0.0,")
    exe = t.build_variant(patch)
    r = t.run_update(exe, [], expect_boxes=[box(FRENCH, 308, "Produit ancien")], extra_env=USER_ENGLISH)
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the run")
    no_package_left(t, r)

    # The documentation's case (docs/deployment.md): the package's last applicable version lacks its ",", so the installed
    # version is never examined (build.sh --force builds it all the same).
    product = t.install_product(name="Example Product", language=ENGLISH, version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0", keywords="1.1.0.0;0.9.0.0,1.0.0.0", change_file=False)
    r = t.run_update(t.build_variant(patch), [], expect_boxes=[box(ENGLISH, 308, "Example Product")],
                     extra_env=USER_ENGLISH)
    picture(t, "wrong-version", r)
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the run")


@scenario
def unreadable_versions_show_300_with_4316(t):
    product = t.install_product(name="Bad Keywords", version="1.0.0.0")
    for keywords in ("1.1.0.0", ";1.0.0.0,"):
        patch, _ = t.make_upgrade_patch(product, "1.1.0.0", keywords=keywords)
        exe = t.build_variant(patch)
        r = t.run_update(exe, [], expect_boxes=[box(ENGLISH, 300, 4316)], extra_env=USER_ENGLISH)
        if keywords == "1.1.0.0":
            picture(t, "error", r)
        no_package_left(t, r)
    t.equal(t.product_version(product.code), "1.0.0.0", "version after the runs")


@scenario
def an_unusable_temporary_folder_gives_way_to_the_systems(t):
    # A file where the user's temporary folder should be: elevated (always, by the manifest), the
    # run makes nothing there, and the product log and Windows Installer's own files go to the
    # system's temporary folder: the patch is applied.
    product = t.install_product(name="No Temp", version="1.0.0.0")
    patch, _ = t.make_upgrade_patch(product, "1.1.0.0")
    exe = t.build_variant(patch)
    temp = t.env.temp_unix
    aside = temp.with_name(temp.name + ".aside")
    shutil.rmtree(aside, ignore_errors=True)
    temp.rename(aside)
    try:
        temp.write_bytes(b"a file where the temporary folder should be")
        r = t.run_update(exe, [], expect_boxes=[box(ENGLISH, 301, "No Temp")], extra_env=USER_ENGLISH)
        t.equal(temp.read_bytes(), b"a file where the temporary folder should be", "the file at the folder's place")
    finally:
        temp.unlink()
        aside.rename(temp)
    t.equal(t.product_version(product.code), "1.1.0.0", "version after the run")
    log = t.env.drive_c() / "windows" / "temp" / "No Temp R2.log"
    t.check(log.is_file(), "the product log in the system's temporary folder")
    log.unlink()

if __name__ == "__main__":
    sys.exit(run_scenarios())
