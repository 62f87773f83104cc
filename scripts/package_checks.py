#!/usr/bin/env python3
"""Checks patch packages before they are built into an update installer, and shows what the
installer reads from them.

    package_checks.py [--force] [--global A.msp] [--langpack B.msp]
    package_checks.py --inspect A.msp [B.msp ...]

The installer takes two texts from a package's summary information: Template (the product codes
of the target products, separated by ";") and Keywords (the version the patch brings a product
to, ";", then each version it applies to followed by ","). Mistakes in them show only on a
customer's machine, so they are caught here, read exactly as the installer reads them. The
patch's transforms name the product and version each was built from and the one it brings it
to; they are held against Template and Keywords.

The compound-file container is read with olefile (Debian: python3-olefile), so the checks run
with the system's Python; the summary texts are decoded here, as Windows decodes them.

Check mode prints one line per finding on standard error and ends with 1 when there is an error
(0 with --force, which turns the errors into warnings), else 0. Inspect mode prints the facts of
each package on standard output and ends with 1 only when a package cannot be read at all.
"""

import argparse
import codecs
import re
import struct
import sys
import uuid
from dataclasses import dataclass, field
from pathlib import Path

# ---------------------------------------------------------------------------------------------
# Compound files (the container of every Windows Installer package), read with olefile

try:
    import olefile
except ImportError:  # pragma: no cover - depends on the machine
    sys.exit("package_checks.py: the Python module olefile is missing: run it with /usr/bin/python3 "
             "after scripts/install-deps.sh (Debian package python3-olefile)")

# The class of a storage tells what kind of Windows Installer file it is.
PACKAGE_CLASSES = {
    "000C1086-0000-0000-C000-000000000046": "patch",
    "000C1084-0000-0000-C000-000000000046": "database",
    "000C1082-0000-0000-C000-000000000046": "transform",
}
SUMMARY_STREAM = "\x05SummaryInformation"
SUMMARY_FMTID = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9").bytes_le


class Unreadable(Exception):
    """The file is not a Windows Installer package, or it is damaged."""


def _open_container(f):
    """The compound file in the open file `f`, or Unreadable. The container is read from the file
    as it is needed (its tables and the small streams asked for), never whole: a package may be
    of gigabytes."""
    header = f.read(512)
    if len(header) < 512 or header[:8] != olefile.MAGIC:
        raise Unreadable("it is not a Windows Installer package (no compound-file signature)")
    f.seek(0)
    try:
        return olefile.OleFileIO(f)
    except Exception as e:  # olefile reports damage with many kinds of exception
        raise Unreadable(f"it is damaged ({e})") from None


def _read_stream(ole, path):
    """The content of the stream at `path` (a list of names), or None when there is none."""
    try:
        if ole.get_type(path) != olefile.STGTY_STREAM:
            return None
        return ole.openstream(path).read()
    except Exception as e:
        raise Unreadable(f"it is damaged ({e})") from None


# ---------------------------------------------------------------------------------------------
# Summary information

TITLE, SUBJECT, AUTHOR, KEYWORDS, TEMPLATE, REVNUMBER = 2, 3, 4, 5, 7, 9
PROPERTY_NAMES = {TITLE: "Title", SUBJECT: "Subject", AUTHOR: "Author", TEMPLATE: "Template", KEYWORDS: "Keywords",
                  REVNUMBER: "RevNumber"}
VT_I2, VT_LPSTR, VT_LPWSTR = 2, 30, 31


@dataclass
class Transform:
    """One transform of a patch, from its own summary information: the product it was built from
    (target) and the product it makes of it (upgraded). Empty texts where it names nothing."""
    name: str
    target_code: str = ""
    target_version: str = ""
    upgraded_code: str = ""
    upgraded_version: str = ""

    @property
    def registers_only(self):
        # The "#" transform of a pair only adds the patch's own registration rows to the
        # already upgraded product; its versions say nothing about the customers' products.
        return self.name.startswith("#")


def parse_transform_products(name, revnumber):
    """A transform's RevNumber: "{target code}target version;{upgraded code}upgraded version;
    {upgrade code}"; parts it lacks stay empty."""
    t = Transform(name)
    parts = (revnumber or "").split(";")
    for i, attr in ((0, "target"), (1, "upgraded")):
        if i < len(parts):
            text = parts[i]
            code = text[:38] if GUID.fullmatch(text[:38]) else ""
            setattr(t, f"{attr}_code", code)
            setattr(t, f"{attr}_version", text[len(code):])
    return t


@dataclass
class Summary:
    kind: str                                        # "patch", "database" or "transform"
    texts: dict = field(default_factory=dict)        # property id -> text; absent properties are missing
    transforms: list = field(default_factory=list)   # Transform per substorage, in storage order


def _decoder(codepage):
    if codepage == 65001:
        return "utf-8"
    try:
        return codecs.lookup(f"cp{codepage}").name
    except LookupError:
        return "cp1252"  # a neutral or unknown code page: what a Western European system would show


def parse_summary(stream):
    """The text properties of a summary-information stream: {property id: text}."""
    if len(stream) < 48 or stream[:2] != b"\xfe\xff":
        raise Unreadable("its summary information is damaged")
    (sets,) = struct.unpack_from("<I", stream, 24)
    section = None
    for k in range(min(sets, 4)):
        fmtid = stream[28 + 20 * k:44 + 20 * k]
        (offset,) = struct.unpack_from("<I", stream, 44 + 20 * k)
        if fmtid == SUMMARY_FMTID:
            section = offset
    if section is None or section + 8 > len(stream):
        raise Unreadable("its summary information is damaged")
    _, count = struct.unpack_from("<II", stream, section)
    if section + 8 + 8 * count > len(stream):
        raise Unreadable("its summary information is damaged")
    raw, codepage = {}, 0
    for k in range(count):
        pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * k)
        at = section + offset
        if at + 8 > len(stream):
            raise Unreadable("its summary information is damaged")
        (vt,) = struct.unpack_from("<H", stream, at)
        if pid == 1 and vt == VT_I2:
            (codepage,) = struct.unpack_from("<H", stream, at + 4)
        elif vt in (VT_LPSTR, VT_LPWSTR):
            (n,) = struct.unpack_from("<I", stream, at + 4)
            width = 2 if vt == VT_LPWSTR else 1
            raw[pid] = (vt, stream[at + 8:at + 8 + n * width])
    texts = {}
    for pid, (vt, data) in raw.items():
        text = data.decode("utf-16-le", "replace") if vt == VT_LPWSTR else data.decode(_decoder(codepage), "replace")
        texts[pid] = text.split("\0", 1)[0]  # the installer takes the text up to its first zero
    return texts


def read_summary(path):
    """Reads a package's kind, its summary texts, and the products of each transform it
    carries; raises Unreadable."""
    try:
        with open(path, "rb") as f:
            return _read_summary(f)
    except OSError as e:
        raise Unreadable(f"it cannot be read ({e.strerror})")


def _read_summary(f):
    with _open_container(f) as ole:
        kind = PACKAGE_CLASSES.get((ole.root.clsid or "").upper())
        if kind is None:
            raise Unreadable("it is a compound file but not a Windows Installer package")
        stream = _read_stream(ole, [SUMMARY_STREAM])
        texts = parse_summary(stream) if stream is not None else {}
        transforms = []
        if kind == "patch":
            for entry in ole.listdir(streams=False, storages=True):
                if len(entry) != 1:
                    continue
                # A transform whose summary cannot be read names no products; the installer reads
                # the patch's own summary all the same, so that is no reason to stop here.
                try:
                    stream = _read_stream(ole, [entry[0], SUMMARY_STREAM])
                    sub = parse_summary(stream) if stream is not None else {}
                except Unreadable:
                    sub = {}
                transforms.append(parse_transform_products(entry[0], sub.get(REVNUMBER)))
    return Summary(kind, {pid: t for pid, t in texts.items() if pid in PROPERTY_NAMES}, transforms)


# ---------------------------------------------------------------------------------------------
# Versions, read the way the installer reads them

def _to_long(text):
    """Decimal text to a signed 32-bit number: leading white space, a sign, then digits."""
    m = re.match(r"[ \t\n\v\f\r]*([+-]?)([0-9]*)", text)
    value = int(m.group(2) or 0)
    value = -value if m.group(1) == "-" else value
    return max(-2**31, min(2**31 - 1, value))


def read_version(text):
    """The four 16-bit parts the installer reads from version text. A part counts only when a
    dot follows it (the fourth is the rest); "," counts as a dot."""
    rest, parts = text.replace(",", "."), []
    for _ in range(3):
        dot = rest.find(".")
        if dot < 0:
            return tuple(parts + [0] * (4 - len(parts)))
        parts.append(_to_long(rest[:dot]) & 0xFFFF)
        rest = rest[dot + 1:]
    return tuple(parts + [_to_long(rest) & 0xFFFF])


def version_text(v):
    return ".".join(str(p) for p in v)


def written_version(text):
    """The version a person reads in the text (one to four decimal numbers separated by dots),
    or None when the text is no such thing."""
    if not re.fullmatch(r"[0-9]+(?:[.,][0-9]+){0,3}", text):
        return None
    parts = [int(p) for p in re.split(r"[.,]", text)]
    return tuple(parts + [0] * (4 - len(parts)))


# ---------------------------------------------------------------------------------------------
# What the installer makes of Template and Keywords

GUID = re.compile(r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}")


def walk_template(template):
    """(visited, never_visited): the product codes the installer visits, in order, and the
    non-empty entries it never reaches because an empty entry stops its walk."""
    rest, visited = template + ";", []
    while rest.find(";") > 0:
        i = rest.find(";")
        visited.append(rest[:i])
        rest = rest[i + 1:]
    return visited, [e for e in rest.split(";") if e]


@dataclass
class Versions:
    upgrade: str     # the text before the first ";"
    targets: str     # the text after it
    examined: list   # the entries of `targets` that a "," follows, in order
    tail: str        # the text after the last ",", which the installer never examines


def split_keywords(keywords):
    """The installer's reading of Keywords, or None when it cannot read it (no ";", or nothing
    before the first one)."""
    semi = keywords.find(";")
    if semi <= 0:
        return None
    upgrade, targets = keywords[:semi], keywords[semi + 1:]
    *examined, tail = targets.split(",")
    return Versions(upgrade, targets, examined, tail)


# ---------------------------------------------------------------------------------------------
# Findings

MSG_300 = 'message 300 ("A problem prevented the Update from being installed")'
MSG_307 = 'message 307 ("the expected product could not be located")'
MSG_308 = 'message 308 ("not designed for the version that is installed")'


@dataclass
class Finding:
    severity: str   # "error" or "warning"
    kind: str       # a short name of the mistake, shown in brackets
    package: str
    prop: str       # "Template", "Keywords", "transform NAME" or "package"
    text: str       # the text the finding is about; None when there is none
    message: str

    def line(self):
        subject = f"{self.package}: {self.prop}" if self.prop != "package" else self.package
        quoted = f" {quote(self.text)}" if self.text is not None else ""
        return f"{self.severity}: {subject}{quoted}: {self.message} [{self.kind}]"


def quote(text, limit=120):
    """Text in double quotes, control characters escaped, shortened beyond `limit` characters."""
    shown = text if len(text) <= limit else text[:limit - 3] + "..."
    escapes = {"\t": "\\t", "\n": "\\n", "\r": "\\r", '"': '\\"', "\\": "\\\\"}
    return '"' + "".join(escapes.get(c) or (f"\\x{ord(c):02x}" if ord(c) < 32 else c) for c in shown) + '"'


def _reads_as(text):
    """A warning text when the installer reads `text` as another version than a person would."""
    read = read_version(text)
    written = written_version(text)
    if written is None:
        return f"is not a version of up to four dotted numbers; the installer reads it as {version_text(read)}"
    if written != read:
        why = []
        if len(re.split(r"[.,]", text)) < 4:
            why.append("a part counts only when a dot follows it")
        if max(written) > 0xFFFF:
            why.append("each part keeps only its low 16 bits")
        return f"reads as {version_text(read)} to the installer, not {version_text(written)} ({'; '.join(why)})"
    return None


def check_template(label, template):
    out = []

    def add(severity, kind, message):
        out.append(Finding(severity, kind, label, "Template", template, message))

    if not template:
        add("error", "template-missing", ("is missing" if template is None else "is empty") +
            f": the installer finds no product to patch, and every customer gets {MSG_307}")
        return out
    visited, never = walk_template(template)
    if never:
        where = "begins with \";\"" if not visited else f"has an empty entry after {quote(visited[-1])}"
        add("error", "template-empty-entry", f"{where}: the installer stops there and never visits "
            f"{', '.join(quote(e) for e in never)}; those products are never patched, and customers who "
            f"have only them get {MSG_307}")
    elif template.endswith(";"):
        add("warning", "template-trailing-separator", "ends with \";\": harmless to the installer, but its /i report shows an empty line "
            "for the empty entry")
    seen = set()
    for entry in [e for e in template.split(";") if e]:
        code = entry.strip()
        if code != entry:
            add("error", "template-spaces", f"the entry {quote(entry)} has white space around the product code; the installer "
                "passes it as written, so it never matches an installed product and that product is never "
                "patched")
        if not GUID.fullmatch(code):
            add("error", "template-not-a-code", f"the entry {quote(entry)} is not a product code (a GUID in braces); no installed "
                "product ever matches it")
        elif code.upper() in seen:
            add("warning", "template-duplicate", f"the product code {quote(code)} is listed twice; the installer handles that "
                "product twice and applies the patch to it a second time")
        seen.add(code.upper())
    return out


def check_keywords(label, keywords):
    out = []

    def add(severity, kind, message):
        out.append(Finding(severity, kind, label, "Keywords", keywords, message))

    unreadable = f"the installer cannot read the versions: every customer gets {MSG_300} with error code " \
                 "4316, and nothing is patched"
    if keywords is None:
        add("error", "keywords-unreadable", f"is missing; {unreadable}")
        return out
    v = split_keywords(keywords)
    if v is None:
        where = "has no \";\"" if ";" not in keywords else "has no upgrade version before the first \";\""
        add("error", "keywords-unreadable", f"{where}; {unreadable}")
        return out
    upgrade = read_version(v.upgrade)
    why = _reads_as(v.upgrade)
    if why:
        add("warning", "version-reads-differently", f"the upgrade version {quote(v.upgrade)} {why}")
    for i, entry in enumerate(v.examined):
        why = _reads_as(entry)
        if why:
            add("warning", "version-reads-differently", f"the applicable version {quote(entry)} {why}")
        if read_version(entry) == upgrade:
            later = v.examined[i + 1:] + ([v.tail] if v.tail.strip() else [])
            same = "is the upgrade version" if entry == v.upgrade else \
                f"reads as {version_text(upgrade)}, the same as the upgrade version {quote(v.upgrade)}"
            who = f"{', '.join(quote(e) for e in later)} or any version not listed before it" if later else \
                "any version not listed before it"
            add("error", "upgrade-version-listed", f"the applicable version {quote(entry)} {same}: when the installer meets it, it "
                "takes the product as up to date and ends the whole package there. Customers on "
                f"{who} are not patched and are told that the update is not needed or was installed, and the "
                "products after theirs are not handled")
            break
    if v.tail.strip():
        add("error", "version-without-comma", f"the last applicable version {quote(v.tail)} has no \",\" after it, so the installer never "
            f"examines it: customers on {version_text(read_version(v.tail))} get {MSG_308} and are not "
            "patched")
    elif not v.examined:
        add("error", "no-applicable-version", f"lists no version that the patch applies to: every customer not already on "
            f"{version_text(upgrade)} gets {MSG_308}")
    return out


def _four_parts(text):
    """The version a person wrote in `text`, with the missing parts written as 0, or None."""
    written = written_version(text)
    return version_text(written) if written and max(written) <= 0xFFFF else None


def check_transforms(label, summary):
    """Findings from the products and versions that the patch's transforms name, held against
    Template and Keywords."""
    out = []
    checked = [t for t in summary.transforms if not t.registers_only and t.target_code]
    if summary.kind != "patch" or not checked:
        return out

    def add(severity, kind, prop, text, message):
        out.append(Finding(severity, kind, label, prop, text, message))

    keywords = summary.texts.get(KEYWORDS)
    v = split_keywords(keywords or "")
    applicable = [read_version(e) for e in v.examined] if v else []
    for t in checked:
        prop = f"transform {t.name}"
        target, upgraded = read_version(t.target_version), read_version(t.upgraded_version)
        built_from = f"{t.target_code} version {quote(t.target_version)}"
        if target == upgraded and t.target_version != t.upgraded_version:
            advice = "give the products four-part versions and build the patch again"
            four = _four_parts(t.upgraded_version)
            if four:
                advice = (f"build the upgraded product with the four-part version {four} (ProductVersion) and the "
                          f"patch again, with Keywords {quote(f'{four};{version_text(target)},')}")
            add("error", "versions-read-alike", prop, None,
                f"was built from {built_from} and brings it to {quote(t.upgraded_version)}, but the installer reads "
                f"both as {version_text(target)}: every customer is told that the update is not necessary, and "
                f"nobody is patched. Instead, {advice}")
        elif v is not None and target not in applicable:
            add("error", "target-version-not-applicable", prop, None,
                f"was built from {built_from}, which the installer reads as {version_text(target)}; Keywords "
                f"{quote(keywords)} lists no applicable version that reads so: customers on the version the "
                f"patch was built from get {MSG_308} and are not patched. Add \"{version_text(target)},\" to "
                "the applicable versions")
        if v is not None and read_version(v.upgrade) != upgraded:
            add("error", "upgrade-version-differs", prop, None,
                f"brings {t.target_code} to version {quote(t.upgraded_version)} ({version_text(upgraded)} to the "
                f"installer), but the upgrade version in Keywords is {quote(v.upgrade)} "
                f"({version_text(read_version(v.upgrade))}): once patched, the product is never taken as up "
                f"to date, and customers who run the installer again get {MSG_308} instead of being told that "
                f"the update is not needed. Write {quote(version_text(upgraded))} as the upgrade version")

    # Only the entries the installer visits and passes on as product codes reach Windows
    # Installer; the Template findings above cover the others.
    template = summary.texts.get(TEMPLATE) or ""
    in_template = {}
    for entry in walk_template(template)[0]:
        if GUID.fullmatch(entry):
            in_template.setdefault(entry.upper(), entry)
    targeted = {}
    for t in checked:
        targeted.setdefault(t.target_code.upper(), t)
    for key, code in in_template.items():
        if key not in targeted:
            add("error", "template-product-without-transform", "Template", template,
                f"names the product {quote(code)}, but no transform of the patch is for it: Windows Installer "
                f"refuses the patch for that product, and its customers get {MSG_300}")
    for key, t in targeted.items():
        if key not in in_template:
            add("warning", "transform-product-not-in-template", f"transform {t.name}", None,
                f"is for the product {t.target_code}, which Template leaves out: the installer never looks for "
                f"that product, so it is never patched, and customers who have only it get {MSG_307}")
    return out


def check_package(label, path):
    """Findings of one package, and its summary (None when it cannot be read)."""
    try:
        summary = read_summary(path)
    except Unreadable as e:
        return [Finding("error", "not-a-package", label, "package", None, f"{e}: the installer cannot read it, every customer "
                        f"gets {MSG_300}, and nothing is patched")], None
    out = []
    if summary.kind != "patch":
        out.append(Finding("error", "not-a-patch", label, "package", None, f"is a Windows Installer {summary.kind}, not a patch "
                           f"package: Windows Installer refuses to apply it, and customers get {MSG_300}"))
    out += check_template(label, summary.texts.get(TEMPLATE))
    out += check_keywords(label, summary.texts.get(KEYWORDS))
    out += check_transforms(label, summary)
    return out, summary


def check_language_pack(global_label, global_summary, lp_label, lp_summary):
    """Warnings for products that the language-pack package targets and the global one does not."""
    def codes(summary):
        return {e.strip().upper(): e.strip() for e in walk_template(summary.texts.get(TEMPLATE) or "")[0]
                if GUID.fullmatch(e.strip())}
    in_global = codes(global_summary)
    return [Finding("warning", "language-pack-only-product", lp_label, "Template", lp_summary.texts.get(TEMPLATE),
                    f"the product code {quote(code)} is not a target of the global package {global_label}: on a "
                    f"computer with only this product the global package finds nothing and shows {MSG_307}, "
                    "and the language pack is never applied")
            for key, code in codes(lp_summary).items() if key not in in_global]


def check(packages, force=False, stream=sys.stderr):
    """Checks the (role, path) pairs; prints the findings; returns the exit code."""
    findings, summaries = [], {}
    for role, path in packages:
        label = f"{role} package {path}"
        found, summary = check_package(label, path)
        findings += found
        summaries[role] = (label, summary)
    g, lp = summaries.get("global"), summaries.get("language-pack")
    if g and lp and g[1] and lp[1]:
        findings += check_language_pack(g[0], g[1], lp[0], lp[1])
    errors = sum(f.severity == "error" for f in findings)
    for f in findings:
        print(f.line(), file=stream)
    if errors and force:
        print(f"warning: building anyway (--force) despite {errors} error(s) in the packages", file=stream)
        return 0
    if errors:
        print(f"{errors} error(s) in the packages: nothing was built (--force builds anyway)", file=stream)
        return 1
    return 0


# ---------------------------------------------------------------------------------------------
# Detection and removal: what an administrator types into a deployment tool

PATCH_STATE_KEY = ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\"
                   "S-1-5-18\\Products\\{product}\\Patches\\{patch}")


def patch_code(revnumber):
    """The patch code: the GUID that begins RevNumber (the patch's own code, then those it
    replaces), or None."""
    first = (revnumber or "")[:38]
    return first.upper() if GUID.fullmatch(first) else None


def packed_guid(code):
    """A GUID as Windows Installer writes it into registry key names: the first three groups
    reversed, then each byte of the last two with its two hex digits swapped."""
    h = code.strip("{}").replace("-", "").upper()
    return h[7::-1] + h[11:7:-1] + h[15:11:-1] + "".join(h[i + 1] + h[i] for i in range(16, 32, 2))


def version_unchanged(summary, product):
    """True when the patch's transforms for `product` leave its version as it was, False when
    they change it, None when no transform tells."""
    found = [read_version(t.target_version) == read_version(t.upgraded_version) for t in summary.transforms
             if not t.registers_only and t.target_code.upper() == product.upper()]
    return None if not found else all(found)


def detection_lines(summary):
    """The patch code and, per target product the installer visits, the detection rules for
    Intune and Configuration Manager and the removal command."""
    code = patch_code(summary.texts.get(REVNUMBER))
    out = [f"  Patch code: {code} (the first GUID of RevNumber)" if code else
           f"  Patch code: none: RevNumber {quote(summary.texts.get(REVNUMBER) or '')} does not begin with a GUID, so "
           "no registry rule or removal command can be given"]
    v = split_keywords(summary.texts.get(KEYWORDS) or "")
    upgrade = version_text(read_version(v.upgrade)) if v else None
    products = [c.upper() for c in walk_template(summary.texts.get(TEMPLATE) or "")[0] if GUID.fullmatch(c)]
    if not products:
        return out
    out.append("  Detection and removal, per target product:")
    for product in dict.fromkeys(products):
        out.append(f"    {product}:")
        if upgrade:
            out.append(f"      Intune, MSI rule: product code {product}, product version check Yes, "
                       f"Greater than or equal to {upgrade}")
            out.append(f"      Configuration Manager, Windows Installer method: product code {product}, "
                       f"Version Greater than or equal to {upgrade}")
        if code:
            out.append(f"      Registry, for a per-machine installation: key "
                       f"{PATCH_STATE_KEY.format(product=packed_guid(product), patch=packed_guid(code))}, value State, "
                       "integer, equals 1 (applied); the 64-bit view (Intune: not associated with a 32-bit app; "
                       "Configuration Manager: leave \"32-bit application on 64-bit systems\" unchecked)")
        unchanged = version_unchanged(summary, product)
        if unchanged and code:
            out.append("      Use the registry rule: this patch does not change the product's version, so a version "
                       "rule cannot see it")
        elif unchanged is None and code:
            out.append("      Use the registry rule if the patch leaves the product's version as it is "
                       "(no transform tells)")
        if code:
            out.append(f"      Removal: msiexec /package {product} /uninstall {code} /qn (Windows Installer removes "
                       "only patches built removable)")
    return out


# ---------------------------------------------------------------------------------------------
# Inspection

def inspect(path, stream=sys.stdout):
    """Prints what the installer reads from one package; returns False when it cannot be read."""
    findings, summary = check_package(str(path), path)
    p = lambda s="": print(s, file=stream)  # noqa: E731
    p(f"{path}")
    if summary is None:
        p(f"  {findings[0].message}")
        return False
    template, keywords = summary.texts.get(TEMPLATE), summary.texts.get(KEYWORDS)
    p(f"  Keywords: {'(missing)' if keywords is None else quote(keywords, 10**6)}")
    p("  Target product codes, in the order the installer visits them:")
    visited, never = walk_template(template or "")
    for code in visited:
        p(f"    {quote(code)}")
    for code in never:
        p(f"    {quote(code)}  never visited: an empty entry comes before it")
    if not visited and not never:
        p("    (none)")
    v = split_keywords(keywords or "")
    if v is None:
        p("  Applicable versions: none readable (Keywords has no upgrade version and \";\")")
        p("  Upgrade version: none readable")
    else:
        p("  Applicable versions, as written and as the installer reads them:")
        for entry in v.examined:
            p(f"    {quote(entry):<20} {version_text(read_version(entry))}")
        if v.tail:
            p(f"    {quote(v.tail):<20} never examined: no \",\" follows it")
        if not v.examined and not v.tail:
            p("    (none)")
        p("  Upgrade version, as written and as the installer reads it:")
        p(f"    {quote(v.upgrade):<20} {version_text(read_version(v.upgrade))}")
    if summary.kind == "patch":
        p("  Transforms: the product each was built from, and what it brings that product to")
        for t in summary.transforms:
            def product(code, version):
                return f"{code or '(no product code)'} {quote(version)} ({version_text(read_version(version))})"
            note = "  only registers the patch; not checked" if t.registers_only else ""
            p(f"    {t.name}: {product(t.target_code, t.target_version)} -> "
              f"{product(t.upgraded_code, t.upgraded_version)}{note}")
        if not summary.transforms:
            p("    (none)")
        for line in detection_lines(summary):
            p(line)
    if findings:
        p("  Findings:")
        for f in findings:
            p("    " + f.line().replace(f"{path}: ", "", 1))
    return True


def main(argv=None):
    ap = argparse.ArgumentParser(description="Checks or inspects patch packages for the update installer.")
    ap.add_argument("--global", dest="global_msp", metavar="A.msp")
    ap.add_argument("--langpack", metavar="B.msp")
    ap.add_argument("--force", action="store_true", help="report errors as warnings and end with 0")
    ap.add_argument("--inspect", nargs="+", metavar="PACKAGE", help="print what the installer reads")
    args = ap.parse_args(argv)
    if args.inspect:
        ok = True
        for i, path in enumerate(args.inspect):
            if i:
                print()
            ok = inspect(path) and ok
        return 0 if ok else 1
    packages = [(role, path) for role, path in (("global", args.global_msp), ("language-pack", args.langpack))
                if path]
    if not packages:
        ap.error("give --global, --langpack or --inspect")
    return check(packages, force=args.force)


if __name__ == "__main__":
    sys.exit(main())
