#!/usr/bin/env python3
"""Runs catalogue_probe's ShowMessage with the box recorded to a file, for a
table of thread locales and user languages, and compares each box with the
catalogue's resource scripts.

    check_recorded_boxes.py --probe catalogue_probe.exe --runner wine-emulator.sh
                            --strings res/strings --work <scratch folder>
"""
import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))
from catalogue import filled, read_catalogue  # noqa: E402

ERROR, INFORMATION = 0x50010, 0x50040
# (text id, caption id, style) of each message that ShowMessage lays out.
LAYOUT = {300: (311, ERROR), 301: (312, INFORMATION), 306: (313, ERROR), 307: (311, ERROR),
          308: (311, ERROR), 309: (311, ERROR), 310: (311, ERROR), 314: (311, ERROR)}

NAME = "Orvanth Studio"

# name, message, thread locale (None: leave it), Unix LANG (the user's language), error, product name,
# language whose table the box must come from
CASES = [
    ("German product", 300, "1031", "en_US.UTF-8", "1603", None, 1031),
    ("German product, Japanese user", 300, "1031", "ja_JP.UTF-8", "5", None, 1031),
    ("Japanese product, code with the top bit set", 300, "1041", "en_US.UTF-8", "-2147024891", None, 1041),
    ("Hong Kong product: traditional Chinese", 301, "0x0C04", "en_US.UTF-8", None, NAME, 1028),
    ("Singapore product: simplified Chinese", 306, "0x1004", "en_US.UTF-8", None, NAME, 2052),
    ("traditional-sort Spanish product", 308, "0x040A", "en_US.UTF-8", None, NAME, 3082),
    ("Swiss German product", 308, "0x0807", "en_US.UTF-8", None, NAME, 1031),
    ("Dutch product, English user", 307, "1043", "en_US.UTF-8", None, None, 1033),
    ("Dutch product, Russian user", 307, "1043", "ru_RU.UTF-8", None, None, 1049),
    ("user default, Polish user", 309, "0x0400", "pl_PL.UTF-8", None, None, 1045),
    ("no locale set, Korean user", 310, None, "ko_KR.UTF-8", None, None, 1042),
] + [(f"English {m}", m, "1033", "en_US.UTF-8", "0", NAME, 1033) for m in sorted(LAYOUT)]


def unescape(value):
    out, i = [], 0
    while i < len(value):
        if value[i] == "\\" and i + 1 < len(value):
            out.append({"n": "\n", "r": "\r", "\\": "\\"}[value[i + 1]])
            i += 2
        else:
            out.append(value[i])
            i += 1
    return "".join(out)


class Probe:
    def __init__(self, args):
        self.args = args
        self.work = Path(args.work)
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)
        self.count = 0
        # One Wine server for all the runs (it ends by itself 10 s after the
        # last one): without it every start waits for the previous server to
        # wind down. Starting it is harmless when one is already running.
        server = shutil.which("wineserver")
        if server:
            subprocess.run([server, "-p10"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def show(self, message, options, lang):
        """Runs the probe; returns the recorded box as a dict, or None when nothing was recorded."""
        self.count += 1
        record = self.work / f"box{self.count}.txt"
        env = dict(os.environ, LANG=lang, LC_ALL=lang)
        command = [self.args.runner, self.args.probe, "show", str(message)] + options + ["--record", f"Z:{record}"]
        # Output goes to a file, not a pipe: Wine's helper processes inherit it
        # and would hold a pipe open until the Wine server ends.
        output = self.work / f"box{self.count}.out"
        with open(output, "wb") as out:
            run = subprocess.run(command, env=env, stdout=out, stderr=subprocess.STDOUT, timeout=60)
        printed = output.read_bytes().decode("utf-8", "replace").strip()
        if run.returncode != 0:
            raise RuntimeError(f"{command} exited with {run.returncode}: {printed}")
        if not record.exists():
            return None
        box = {}
        for line in record.read_text(encoding="utf-8").split("\n"):
            if "=" in line:
                key, value = line.split("=", 1)
                box[key] = unescape(value)
        box["style"] = int(box["style"], 16)
        box["probe"] = printed
        return box


def main():
    ap = argparse.ArgumentParser()
    for option in ("--probe", "--runner", "--strings", "--work"):
        ap.add_argument(option, required=True)
    args = ap.parse_args()
    catalogue = read_catalogue(args.strings)
    probe = Probe(args)
    failures = []

    def check(name, got, expected):
        if got != expected:
            failures.append(f"{name}:\n  got      {got!r}\n  expected {expected!r}")

    for name, message, locale, lang, error, product, table in CASES:
        options = []
        if locale is not None:
            options += ["--locale", locale]
        if error is not None:
            options += ["--error", error]
        if product is not None:
            options += ["--name", product]
        box = probe.show(message, options, lang)
        if box is None:
            failures.append(f"{name}: no box")
            continue
        caption, style = LAYOUT[message]
        text = catalogue[table][message]
        if message == 300:
            text = filled(text, "%d", error or "0")
        elif "%s" in text:
            text = filled(text, "%s", product or "")
        check(f"{name} ({box['probe']}): text", box["text"], text)
        check(f"{name}: caption", box["caption"], catalogue[table][caption])
        check(f"{name}: style", box["style"], style)

    # English exactly, spaces and line feeds included.
    box = probe.show(300, ["--locale", "1033", "--error", "-1"], "en_US.UTF-8")
    check("English 300", box["text"], "A problem prevented the Update from being installed. Contact your system "
          "administrator. \n\n Error Code: -1")
    check("English 300 caption", box["caption"], "Installation Error")
    box = probe.show(301, ["--locale", "1033"], "en_US.UTF-8")
    check("English 301, no product name", box["text"],
          "The update was successfully installed and  has been updated.")
    check("English 301 caption", box["caption"], "Installation Successful")

    # A 5,000-character product name is cut to the output buffer: the loaded
    # text's length + 512 characters, terminator included.
    box = probe.show(301, ["--locale", "1033", "--name-length", "5000"], "en_US.UTF-8")
    pattern = catalogue[1033][301]
    tail = pattern[pattern.index("%s") + 2:]
    check("long name: length", len(box["text"]), len(pattern) + 511)
    check("long name: sentence kept", box["text"].endswith("\u2026" + tail), True)

    # Quiet: no box.
    check("quiet", probe.show(300, ["--quiet", "--locale", "1031"], "en_US.UTF-8"), None)

    for failure in failures:
        print(failure)
    print(f"{probe.count} boxes, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
