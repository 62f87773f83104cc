#!/usr/bin/env python3
"""Chooses the version information and the icon of an update installer, refuses what would not
fit, and writes the header that the resource script of the build compiles in.

    branding.py [--global A.msp] [--langpack B.msp] [--product-name TEXT] [--company TEXT]
                [--version N.N.N.N] [--description TEXT] [--copyright TEXT] [--icon FILE.ico]
                [--header OUT.h] [--product-name-out FILE]

A value left out comes from the summary information of the global package, else of the
language pack: the version from the upgrade version in Keywords, the company from Author, the
product name from Subject (else Title, unless it only names the kind of package). What is still
missing keeps the installer's own: product name "msp-bootstrap", description "Update installer",
the project's version, no company and no copyright. An empty --company or --copyright leaves that
value out. The choice is printed on standard output, one line per value with where it came from.
Exit code 0, or 1 with a message on standard error when an option is refused (nothing written).
"""

import argparse
import re
import struct
import sys
from dataclasses import dataclass
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import package_checks as pc  # noqa: E402

SOURCE_DIR = Path(__file__).resolve().parents[1]
MAX_TEXT = 256  # characters of one value; Windows shows far less
# Titles that name only the kind of package, as the authoring tools write them.
GENERIC_TITLES = {"patch", "installation database", "transform", "merge module"}
OWN_PRODUCT_NAME, OWN_DESCRIPTION = "msp-bootstrap", "Update installer"


class Refused(Exception):
    pass


def project_version(cmake_lists=SOURCE_DIR / "CMakeLists.txt"):
    """The project's own version, from the project() line of the build."""
    m = re.search(r"project\s*\(\s*\S+[^)]*?\bVERSION\s+([0-9][0-9.]*)", cmake_lists.read_text(encoding="utf-8"))
    if not m:
        raise Refused(f"{cmake_lists} has no project() line with a VERSION")
    return m.group(1)


def four_numbers(text):
    """(a, b, c, d) when text is four dotted numbers of at most 65535, else None."""
    m = re.fullmatch(r"([0-9]{1,5})\.([0-9]{1,5})\.([0-9]{1,5})\.([0-9]{1,5})", text)
    if not m or any(int(p) > 0xFFFF for p in m.groups()):
        return None
    return tuple(int(p) for p in m.groups())


def text_problem(text):
    """Why `text` cannot stand in a version resource, or None."""
    if len(text) > MAX_TEXT:
        return f"it is {len(text)} characters long; at most {MAX_TEXT} fit"
    bad = next((c for c in text if ord(c) < 0x20 or 0x7F <= ord(c) < 0xA0 or 0xD800 <= ord(c) < 0xE000), None)
    if bad is not None:
        return f"it contains the control character U+{ord(bad):04X}"
    return None


def icon_problem(path):
    """Why `path` is not a usable icon file (.ico), or None."""
    try:
        data = Path(path).read_bytes()
    except OSError as e:
        return f"it cannot be read ({e.strerror})"
    if '"' in str(path) or "\\" in str(path):
        return "its path may not contain a quote or a backslash"
    if len(data) < 6:
        return "it is too short to be an icon file"
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        return "it is not an icon file (.ico): its header does not say so"
    if count == 0:
        return "it holds no image"
    if 6 + 16 * count > len(data):
        return f"it is damaged: its directory of {count} images is cut off"
    for i in range(count):
        size, offset = struct.unpack_from("<II", data, 6 + 16 * i + 8)
        if size < 8 or offset < 6 + 16 * count or offset + size > len(data):
            return f"it is damaged: image {i + 1} lies outside the file"
        head = data[offset:offset + 8]
        if head != b"\x89PNG\r\n\x1a\n" and struct.unpack_from("<I", head)[0] != 40:
            return f"it is damaged: image {i + 1} is neither a bitmap nor PNG"
    return None


@dataclass
class Choice:
    value: str       # None: left out
    source: str      # where it came from, for the printout


def _package_texts(packages):
    """[(label, Summary)] of the packages given, in order; unreadable ones are left out (the
    package checks report them)."""
    out = []
    for label, path in packages:
        try:
            out.append((label, pc.read_summary(path)))
        except pc.Unreadable:
            pass
    return out


def choose(options, packages, own_version):
    """The values of the version resource: {name: Choice}. Raises Refused for a bad option."""
    for name in ("product_name", "description", "company", "copyright"):
        value = getattr(options, name)
        if value is None:
            continue
        flag = "--" + name.replace("_", "-")
        if value == "" and name in ("product_name", "description"):
            raise Refused(f"{flag} is empty: give the text, or leave the option out")
        why = text_problem(value)
        if why:
            raise Refused(f"{flag} {pc.quote(value, 60)} does not fit a version resource: {why}")
    if options.version is not None and four_numbers(options.version) is None:
        raise Refused(f"--version {pc.quote(options.version, 60)} is not a version of four numbers of at most 65535 "
                      "separated by dots, such as 2.1.6.0")
    if options.icon is not None:
        why = icon_problem(options.icon)
        if why:
            raise Refused(f"--icon {options.icon}: {why}")

    summaries = _package_texts(packages)
    notes = []

    def from_packages(what, pid, usable):
        for label, summary in summaries:
            text = summary.texts.get(pid)
            if not text:
                continue
            value, why = usable(text)
            if value is not None:
                return Choice(value, f"{pc.PROPERTY_NAMES[pid]} of the {label}")
            notes.append(f"note: {pc.PROPERTY_NAMES[pid]} {pc.quote(text, 60)} of the {label} is not used as the "
                         f"{what}: {why}")
        return None

    def usable_text(text):
        why = text_problem(text)
        return (None, why) if why else (text, None)

    def usable_title(text):
        if text.strip().lower() in GENERIC_TITLES:
            return None, "it only names the kind of package"
        return usable_text(text)

    def usable_version(text):
        upgrade = pc.split_keywords(text)
        if upgrade is None:
            return None, "it has no upgrade version before a \";\""
        written = pc.written_version(upgrade.upgrade)
        if written is None or max(written) > 0xFFFF:
            return None, f"the upgrade version {pc.quote(upgrade.upgrade)} is not up to four numbers of at most 65535"
        return pc.version_text(written), None

    chosen = {}
    given = lambda name: getattr(options, name)  # noqa: E731
    if given("product_name") is not None:
        chosen["product_name"] = Choice(given("product_name"), "--product-name")
    else:
        chosen["product_name"] = (from_packages("product name", pc.SUBJECT, usable_text)
                                  or from_packages("product name", pc.TITLE, usable_title)
                                  or Choice(OWN_PRODUCT_NAME, "the installer's own"))
    if given("company") is not None:
        chosen["company"] = Choice(given("company") or None, "--company")
    else:
        chosen["company"] = from_packages("company", pc.AUTHOR, usable_text) or Choice(None, "no package names one")
    if given("version") is not None:
        chosen["version"] = Choice(given("version"), "--version")
    else:
        own = ".".join((own_version.split(".") + ["0"] * 4)[:4])
        chosen["version"] = (from_packages("version", pc.KEYWORDS, usable_version)
                             or Choice(own, "the project's own version"))
    chosen["description"] = Choice(given("description"), "--description") if given("description") is not None \
        else Choice(OWN_DESCRIPTION, "the installer's own")
    chosen["copyright"] = Choice(given("copyright") or None, "--copyright" if given("copyright") is not None
                                 else "not given")
    chosen["icon"] = Choice(str(Path(options.icon).resolve()), "--icon") if options.icon is not None \
        else Choice(None, "the installer's own")
    return chosen, notes


LABELS = [("product_name", "ProductName"), ("description", "FileDescription"), ("company", "CompanyName"),
          ("copyright", "LegalCopyright"), ("version", "FileVersion and ProductVersion"), ("icon", "Icon")]


def describe(chosen, own_version, stream=sys.stdout):
    print("Version information of the installer:", file=stream)
    for name, label in LABELS:
        c = chosen[name]
        value = "(left out)" if c.value is None else pc.quote(c.value, 10**6)
        if name == "icon" and c.value is None:
            value = "res/update.ico"
        print(f"  {label + ':':<33} {value}  ({c.source})", file=stream)
    print(f"  {'BootstrapVersion:':<33} {pc.quote(own_version)}  (the project's own version)", file=stream)


def rc_string(text):
    """Text as a string literal of the resource script (UTF-8): a quote is written twice, and a
    backslash too, as the resource compiler reads escapes such as \\n in it."""
    return '"' + text.replace('\\', '\\\\').replace('"', '""') + '"'


def header(chosen):
    numbers = four_numbers(chosen["version"].value)
    lines = ["// Version information of this installer, written by scripts/branding.py.",
             f"#define UPDATE_VERSION_NUMBERS {','.join(map(str, numbers))}",
             f"#define UPDATE_VERSION_TEXT {rc_string(chosen['version'].value)}",
             f"#define UPDATE_PRODUCT_NAME {rc_string(chosen['product_name'].value)}",
             f"#define UPDATE_FILE_DESCRIPTION {rc_string(chosen['description'].value)}"]
    if chosen["company"].value is not None:
        lines.append(f"#define UPDATE_COMPANY_NAME {rc_string(chosen['company'].value)}")
    if chosen["copyright"].value is not None:
        lines.append(f"#define UPDATE_COPYRIGHT {rc_string(chosen['copyright'].value)}")
    return "\n".join(lines) + "\n"


def main(argv=None):
    ap = argparse.ArgumentParser(description="Chooses the version information and icon of an update installer.")
    ap.add_argument("--global", dest="global_msp", metavar="A.msp")
    ap.add_argument("--langpack", metavar="B.msp")
    for name in ("product-name", "company", "version", "description", "copyright"):
        ap.add_argument(f"--{name}")
    ap.add_argument("--icon", metavar="FILE.ico")
    ap.add_argument("--header", metavar="OUT.h", help="write the resource header here")
    ap.add_argument("--product-name-out", metavar="FILE", help="write the chosen product name here (UTF-8)")
    args = ap.parse_args(argv)
    packages = [(role, path) for role, path in (("global package", args.global_msp),
                                                ("language-pack package", args.langpack)) if path]
    try:
        own = project_version()
        chosen, notes = choose(args, packages, own)
    except Refused as e:
        print(f"error: {e}; nothing was built", file=sys.stderr)
        return 1
    for note in notes:
        print(note)
    describe(chosen, own)
    if args.header:
        Path(args.header).parent.mkdir(parents=True, exist_ok=True)
        Path(args.header).write_text(header(chosen), encoding="utf-8")
    if args.product_name_out:
        Path(args.product_name_out).write_text(chosen["product_name"].value, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main())
