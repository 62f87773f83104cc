#!/usr/bin/env python3
"""Real message boxes of the catalogue under Wine, read by the box watcher.

catalogue_probe sets the thread locale (and, through LANG, the user's language), then calls
ShowMessage; the watcher reads the box that appears: caption, text and icon, exactly.
"""
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1]))  # tests/e2e
from e2elib.catalogue import CATALOGUE, message_box, user  # noqa: E402
from e2elib.scenario import Box, run_scenarios, scenario  # noqa: E402

NAME = "Orvanth Studio"

# The English boxes as the user must see them, spaces and line feeds included.
ENGLISH = [
    (300, ["--error", "1603"], "Installation Error", "error",
     "A problem prevented the Update from being installed. Contact your system administrator. \n\n"
     " Error Code: 1603"),
    (301, ["--name", NAME], "Installation Successful", "information",
     "The update was successfully installed and Orvanth Studio has been updated."),
    (301, [], "Installation Successful", "information",
     "The update was successfully installed and  has been updated."),
    (306, ["--name", NAME], "Installation Unnecessary", "error",
     "Your version of Orvanth Studio is up-to-date and this update is not necessary"),
    (307, [], "Installation Error", "error",
     "The update could not be installed because the expected Orvanth product could not be located on your "
     "computer.\nMake sure that you are using the correct update for the product."),
    (308, ["--name", NAME], "Installation Error", "error",
     "This update could not be installed because it is not designed for the version of Orvanth Studio that "
     "is installed on your computer.  SP1 must be applied before SP2 can be applied."),
    (309, [], "Installation Error", "error",
     "The command line that you supplied is incorrect. Please check it for errors."),
    (310, [], "Installation Error", "error",
     "You must supply a patch list with the command line to install this update."),
    (314, [], "Installation Error", "error",
     "Installation of this update is blocked.  For more information, please read Information for Windows "
     "Vista Users in the update readme."),
]


def probe(t):
    exe = t.cfg.binary_dir / "probes" / "catalogue" / "catalogue_probe.exe"
    t.check(exe.is_file(), f"catalogue_probe is not built: {exe}")
    return exe


def show(t, message, options, expected, lang="en_US.UTF-8"):
    r = t.run_program(probe(t), ["show", str(message)] + options, expect_boxes=[expected], extra_env=user(lang))
    t.equal(r.exit_code, 0, "probe exit code")


@scenario
def german_locale_shows_the_german_failure_and_caption(t):
    show(t, 300, ["--locale", "1031", "--error", "1603"], message_box(1031, 300, "1603"))
    # The user's language does not steer it: a Japanese user still gets the German box.
    show(t, 300, ["--locale", "1031", "--error", "1603"], message_box(1031, 300, "1603"),
         lang="ja_JP.UTF-8")


@scenario
def japanese_locale_shows_japanese(t):
    show(t, 300, ["--locale", "1041", "--error", "-2147024891"],
         message_box(1041, 300, "-2147024891"))
    show(t, 301, ["--locale", "1041", "--name", NAME], message_box(1041, 301, NAME))


@scenario
def unsupported_languages_fall_back(t):
    # Another country's German, Chinese of Hong Kong and Singapore: the same language's table.
    show(t, 308, ["--locale", "0x0807", "--name", NAME], message_box(1031, 308, NAME))
    show(t, 301, ["--locale", "0x0C04", "--name", NAME], message_box(1028, 301, NAME))
    show(t, 306, ["--locale", "0x1004", "--name", NAME], message_box(2052, 306, NAME))
    # A language the catalogue lacks: the user's language, else English.
    show(t, 307, ["--locale", "1043"], message_box(1049, 307), lang="ru_RU.UTF-8")
    show(t, 307, ["--locale", "1043"], message_box(1033, 307), lang="nl_NL.UTF-8")
    # The user's default locale.
    show(t, 309, ["--locale", "0x0400"], message_box(1045, 309), lang="pl_PL.UTF-8")


@scenario
def english_texts_are_exact(t):
    for message, options, caption, icon, text in ENGLISH:
        show(t, message, ["--locale", "1033"] + options, Box(caption, text, icon))


@scenario
def overlong_product_name_is_cut_and_quiet_mode_shows_nothing(t):
    r = t.run_program(probe(t), ["show", "301", "--locale", "1033", "--name-length", "5000"], expect_boxes=1,
                      extra_env=user("en_US.UTF-8"))
    pattern = CATALOGUE[1033][301]
    head, tail = pattern.split("%s")
    text = r.boxes[0].text
    t.equal(len(text), len(pattern) + 511, "length of the box text")
    t.check(text.startswith(head + "NNN") and text.endswith("N\u2026" + tail), f"box text: {text!r}")

    r = t.run_program(probe(t), ["show", "300", "--quiet", "--locale", "1031"], expect_boxes=0)
    t.equal(r.exit_code, 0, "probe exit code")


if __name__ == "__main__":
    sys.exit(run_scenarios())
