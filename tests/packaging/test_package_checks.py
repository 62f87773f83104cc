"""The build-time package checks: version and Template reading as the installer does it, the
findings for each kind of mistake, and the summary reader on real package files."""
import io
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import package_checks as pc  # noqa: E402

A = "{11111111-1111-1111-1111-111111111111}"
B = "{22222222-2222-2222-2222-222222222222}"
C = "{33333333-3333-3333-3333-333333333333}"


def kinds(findings):
    return sorted((f.severity, f.kind) for f in findings)


class VersionReading(unittest.TestCase):
    def test_texts(self):
        for text, parts in [
            ("1.2.3.4", (1, 2, 3, 4)), ("1,2.3,4", (1, 2, 3, 4)), ("7.1.2", (7, 1, 0, 0)), ("7", (0, 0, 0, 0)),
            ("", (0, 0, 0, 0)), ("1.2.3.4.5", (1, 2, 3, 4)), ("1.2.3.x", (1, 2, 3, 0)), (" \t3.4.5.6", (3, 4, 5, 6)),
            ("65537.0.0.0", (1, 0, 0, 0)), ("-1.0.0.0", (65535, 0, 0, 0)), ("99999999999.0.0.0", (65535, 0, 0, 0)),
            ("+5.x7.0.0", (5, 0, 0, 0)),
        ]:
            self.assertEqual(pc.read_version(text), parts, text)

    def test_agrees_with_the_installer_on_random_texts(self):
        reader = os.environ.get("VERSION_READER")
        if not reader:
            self.skipTest("VERSION_READER names no program (run through CTest)")
        rng = random.Random(9)
        pieces = ["0", "1", "7", "65535", "65536", "2147483648", "99999999999", ".", ".", ",", "-", "+", " ", "\t",
                  "x", "\v"]
        texts = ["".join(rng.choice(pieces) for _ in range(rng.randrange(12))) for _ in range(3000)]
        out = subprocess.run([reader], input="\n".join(texts) + "\n", capture_output=True, text=True,
                             check=True).stdout.split()
        for text, theirs in zip(texts, out, strict=True):
            self.assertEqual(pc.version_text(pc.read_version(text)), theirs, repr(text))


class TemplateAndKeywords(unittest.TestCase):
    def test_template_walk_stops_at_the_first_empty_entry(self):
        for template, visited, never in [
            (f"{A};{B}", [A, B], []), (f"{A};;{B};{C}", [A], [B, C]), (f";{A}", [], [A]), (f"{A};", [A], []),
            ("", [], []), (f" {A} ", [f" {A} "], []),
        ]:
            self.assertEqual(pc.walk_template(template), (visited, never), template)

    def test_template_findings(self):
        E, W = "error", "warning"
        for template, expected in [
            (f"{A};{B}", []),
            (None, [(E, "template-missing")]),
            ("", [(E, "template-missing")]),
            (f"{A};;{B}", [(E, "template-empty-entry")]),
            (f";{A}", [(E, "template-empty-entry")]),
            (f"{A};", [(W, "template-trailing-separator")]),
            (f"{A}; {B}", [(E, "template-spaces")]),
            (f"{A};{B}\t", [(E, "template-spaces")]),
            (f"{A};Intel", [(E, "template-not-a-code")]),
            (f"{A};{A[1:-1]}", [(E, "template-not-a-code")]),
            (f"{A};{A.lower()}", [(W, "template-duplicate")]),
        ]:
            self.assertEqual(kinds(pc.check_template("p.msp", template)), sorted(expected), template)

    def test_keywords_findings(self):
        E, W = "error", "warning"
        for keywords, expected in [
            ("2.0.0.0;1.0.0.0,1.1.0.0,", []),
            (None, [(E, "keywords-unreadable")]),
            ("2.0.0.0", [(E, "keywords-unreadable")]),
            (";1.0.0.0,", [(E, "keywords-unreadable")]),
            ("2.0.0.0;1.0.0.0,1.1.0.0", [(E, "version-without-comma")]),
            ("2.0.0.0;1.0.0.0, ", []),
            ("2.0.0.0;", [(E, "no-applicable-version")]),
            ("2.0.0.0;1.0.0.0,2.0.0.0,3.0.0.0,", [(E, "upgrade-version-listed")]),
            ("7.1.3.0;7.1.2,", [(W, "version-reads-differently")]),
            ("7.1.3;7.1.2,", [(W, "version-reads-differently")] * 2 + [(E, "upgrade-version-listed")]),
            ("2.0.0.0;65537.0.0.0,1.0,", [(W, "version-reads-differently")]),
            ("2.0.0.0;1.0.0.0,,v1.1,", [(W, "version-reads-differently")] * 2),
        ]:
            self.assertEqual(kinds(pc.check_keywords("p.msp", keywords)), sorted(expected), keywords)

    def test_findings_tell_what_customers_get(self):
        (f,) = pc.check_keywords("global package g.msp", "2.0.0.0;1.0.0.0,1.1")
        self.assertIn('global package g.msp: Keywords "2.0.0.0;1.0.0.0,1.1"', f.line())
        self.assertIn("customers on 1.0.0.0 get message 308", f.line())  # "1.1" reads as 1.0.0.0
        (f,) = pc.check_keywords("g.msp", "2.0.0.0;1.0.0.0,2.0.0.0,3.0.0.0,")
        self.assertIn('Customers on "3.0.0.0" or any version not listed', f.message)
        (f,) = pc.check_template("g.msp", f"{A};;{B};{C}")
        self.assertIn(f'never visits "{B}", "{C}"', f.message)


def summary(template, keywords="2.0.0.0;1.0.0.0,", kind="patch", transforms=(), **texts):
    props = {pc.TEMPLATE: template, pc.KEYWORDS: keywords, **{getattr(pc, k.upper()): v for k, v in texts.items()}}
    return pc.Summary(kind, {k: v for k, v in props.items() if v is not None},
                      [pc.parse_transform_products(name, rev) for name, rev in transforms])


class Transforms(unittest.TestCase):
    def test_products_of_a_transform(self):
        for rev, parts in [
            (f"{A}1.0.0.0;{A}2.1;{C}", (A, "1.0.0.0", A, "2.1")),
            (f"{A}1.0;{B}", (A, "1.0", B, "")),
            ("Intel;1033", ("", "Intel", "", "1033")),
            (None, ("", "", "", "")),
        ]:
            t = pc.parse_transform_products("T1", rev)
            self.assertEqual((t.target_code, t.target_version, t.upgraded_code, t.upgraded_version), parts, rev)

    def test_findings_against_template_and_keywords(self):
        E, W = "error", "warning"
        t1 = ("T1", f"{A}1.0.0.0;{A}2.0.0.0;{C}")
        for template, keywords, transforms, expected in [
            (A, "2.0.0.0;1.0.0.0,", [t1], []),
            (A.lower(), "2.0;0.9.0.0,1.0,", [t1, ("#T1", f"{A}2.0.0.0;{A}2.0.0.0;{C}")], []),
            (A, "2.1.6;2.1.5,", [("T1", f"{A}2.1.5;{A}2.1.6;{C}")], [(E, "versions-read-alike")]),
            (A, "2.0.0.0;1.1.0.0,", [t1], [(E, "target-version-not-applicable")]),
            (A, "2.0.0.0;1.0.0.0,1.0.0.0", [t1], []),
            (A, "2.0.0.0;1.1.0.0,1.0.0.0", [t1], [(E, "target-version-not-applicable")]),
            (A, "2.0.0.1;1.0.0.0,", [t1], [(E, "upgrade-version-differs")]),
            (A, ";1.0.0.0,", [t1], []),
            (f"{A};{B}", "2.0.0.0;1.0.0.0,", [t1], [(E, "template-product-without-transform")]),
            (f"{A};;{B}", "2.0.0.0;1.0.0.0,", [t1], []),
            (B, "2.0.0.0;1.0.0.0,", [t1], [(E, "template-product-without-transform"),
                                          (W, "transform-product-not-in-template")]),
            (None, "2.0.0.0;1.0.0.0,", [t1], [(W, "transform-product-not-in-template")]),
            (f"{A};{B}", "2.0.0.0;1.0.0.0,", [], []),
        ]:
            got = pc.check_transforms("p.msp", summary(template, keywords, transforms=transforms))
            self.assertEqual(kinds(got), sorted(expected), (template, keywords, transforms))

    def test_three_part_versions_say_what_to_write_instead(self):
        (f,) = pc.check_transforms("p.msp", summary(A, "2.1.6;2.1.5,", transforms=[("T1", f"{A}2.1.5;{A}2.1.6;{C}")]))
        self.assertIn("reads both as 2.1.0.0", f.message)
        self.assertIn('four-part version 2.1.6.0 (ProductVersion) and the patch again, with Keywords "2.1.6.0;2.1.0.0,"',
                      f.message)


class CheckAndInspect(unittest.TestCase):
    def run_check(self, packages, force=False, **summaries):
        err = io.StringIO()
        with mock.patch.object(pc, "read_summary", lambda path: summaries[path]):
            code = pc.check(packages, force=force, stream=err)
        return code, err.getvalue()

    def test_errors_stop_unless_forced_warnings_never(self):
        good, bad, spaced = summary(A), summary(A, "2.0.0.0;1.0.0.0"), summary(f"{A};")
        for packages, force, code in [
            ({"g": good}, False, 0), ({"g": spaced}, False, 0), ({"g": bad}, False, 1), ({"g": bad}, True, 0),
            ({"g": good, "l": bad}, False, 1), ({"g": summary(A, kind="database")}, False, 1),
        ]:
            roles = [("global", "g"), ("language-pack", "l")][:len(packages)]
            got, out = self.run_check(roles, force, **packages)
            self.assertEqual(got, code, out)
            self.assertEqual("building anyway" in out, force, out)

    def test_language_pack_products_the_global_package_lacks(self):
        code, out = self.run_check([("global", "g"), ("language-pack", "l")], g=summary(f"{A};{B}"),
                                   l=summary(f"{B.lower()};{C}"))
        self.assertEqual(code, 0)
        self.assertEqual([line.split("[")[-1] for line in out.splitlines()], ["language-pack-only-product]"])
        self.assertIn(C, out)
        self.assertNotIn(B, out.replace(f"{B.lower()};{C}", ""))


class DetectionAndRemoval(unittest.TestCase):
    P = "{0a1b2c3d-4e5f-6789-abcd-ef0123456789}"

    def test_patch_codes_and_packed_guids(self):
        for revnumber, code in [(self.P, self.P.upper()), (self.P + A, self.P.upper()), (" " + self.P, None),
                                ("", None), (None, None), (self.P[:-1], None)]:
            self.assertEqual(pc.patch_code(revnumber), code, revnumber)
        for guid, packed in [("{00000409-78E1-11D2-B60F-006097C998E7}", "904000001E872D116BF00006799C897E"),
                             ("{12345678-90ab-CDEF-1234-567890ABCDEF}", "87654321BA09FEDC2143658709BADCFE")]:
            self.assertEqual(pc.packed_guid(guid), packed)

    def test_rules_per_target(self):
        P, key = self.P.upper(), "Products\\8765"
        changes = ("T1", f"{A}1.0.0.0;{A}2.0.0.0;{C}")
        keeps = ("T1", f"{B}1.0.0.0;{B}1.0.0.0;{C}")
        for template, keywords, revnumber, transforms, present, missing in [
            (A, "2.0;1.0.0.0,", self.P, [changes],
             [f"Patch code: {P}", f"product code {A}, product version check Yes, Greater than or equal to 2.0.0.0",
              f"Version Greater than or equal to 2.0.0.0", f"Removal: msiexec /package {A} /uninstall {P} /qn",
              f"UserData\\S-1-5-18\\Products\\{pc.packed_guid(A)}\\Patches\\{pc.packed_guid(P)}, value State"],
             ["Use the registry rule"]),
            (f"{B};;{A}", "1.0.0.0;1.0.0.0,", self.P, [keeps], [f"    {B}:", "Use the registry rule: this patch does not"],
             [f"    {A}:"]),
            (A, "2.0.0.0;1.0.0.0,", self.P, [], ["Use the registry rule if the patch leaves"], []),
            (A, "2.0.0.0", "1.0", [changes], ["Patch code: none: RevNumber \"1.0\""],
             ["Removal", "Registry", "version check"]),
            ("", "2.0.0.0;1.0.0.0,", self.P, [], [f"Patch code: {P}"], ["per target product", key]),
        ]:
            text = "\n".join(pc.detection_lines(summary(template, keywords, transforms=transforms, revnumber=revnumber)))
            for part in present:
                self.assertIn(part, text)
            for part in missing:
                self.assertNotIn(part, text)


@unittest.skipUnless(shutil.which("msibuild") and shutil.which("msiinfo"), "msitools is not installed")
class SummaryReader(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.dir)

    def package(self, template, name="p.msi"):
        path = self.dir / name
        subprocess.run(["msibuild", str(path), "-s", "Title", "Author", template, C], check=True)
        return path

    def test_texts_as_msitools_read_them(self):
        path = self.package(A, "named.msi")
        got = pc.read_summary(path).texts
        info = subprocess.run(["msiinfo", "suminfo", str(path)], capture_output=True, text=True).stdout
        for pid in (pc.TITLE, pc.SUBJECT, pc.AUTHOR, pc.TEMPLATE, pc.KEYWORDS):
            self.assertIn(f"{pc.PROPERTY_NAMES[pid]}: {got[pid]}\n", info)

    def test_template_as_msitools_reads_it(self):
        # 130 codes make the summary stream larger than 4096 bytes: it moves out of the mini stream.
        for codes in (2, 130):
            template = ";".join(A[:-4] + f"{i:03d}}}" for i in range(codes))
            path = self.package(template, f"p{codes}.msi")
            got = pc.read_summary(path)
            self.assertEqual((got.kind, got.texts[pc.TEMPLATE]), ("database", template))
            info = subprocess.run(["msiinfo", "suminfo", str(path)], capture_output=True, text=True).stdout
            self.assertIn(f"Template: {template}\n", info)
            self.assertEqual(got.texts[pc.KEYWORDS], "Installer, MSI")

    def test_damaged_files_are_unreadable_never_a_crash(self):
        data = self.package(f"{A};{B}").read_bytes()
        rng = random.Random(3)
        variants = [b"", b"MZ not a package", data[:512], data[:len(data) // 2]]
        for _ in range(300):
            flipped = bytearray(data)
            for _ in range(4):
                flipped[rng.randrange(len(data))] = rng.randrange(256)
            variants.append(bytes(flipped))
        for n, content in enumerate(variants):
            path = self.dir / f"d{n}.msp"
            path.write_bytes(content)
            try:
                pc.read_summary(path)
            except pc.Unreadable:
                pass
        with self.assertRaises(pc.Unreadable):
            pc.read_summary(self.dir / "missing.msp")


if __name__ == "__main__":
    unittest.main()
