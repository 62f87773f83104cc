"""The version information build.sh gives an installer: options first, then the global package,
then the language pack; refusals of what does not fit; the resource text as the compiler reads it."""
import argparse
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path
from unittest import mock

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))
import branding  # noqa: E402
import package_checks as pc  # noqa: E402
from test_package_checks import A, summary  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]


def options(**given):
    base = {k: None for k in ("product_name", "company", "version", "description", "copyright", "icon")}
    return argparse.Namespace(**{**base, **given})


def icon(images=((b"\x28\0\0\0" + b"\0" * 36),), kind=1, count=None):
    """An icon file with the given image data (a bitmap header by default)."""
    count = len(images) if count is None else count
    out, offset = struct.pack("<HHH", 0, kind, count), 6 + 16 * len(images)
    for data in images:
        out += struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


class Choice(unittest.TestCase):
    def choose(self, opts, **packages):
        with mock.patch.object(pc, "read_summary", lambda path: packages[path]):
            chosen, notes = branding.choose(opts, [(f"{k} package", k) for k in packages], "1.1.0")
        return {k: c.value for k, c in chosen.items()}, notes

    def test_options_then_global_then_language_pack_then_own(self):
        wixl_like = summary(A, "2.1.6;2.1.5,", title="Patch", subject="Beispiel 2.1", author="ACME GmbH")
        mkpatch_like = summary(A, "3.0.0.1;3.0.0.0,", title="Patch")
        for opts, packages, expected in [
            (options(), {"global": wixl_like}, ("Beispiel 2.1", "ACME GmbH", "2.1.6.0")),
            (options(), {"global": mkpatch_like}, ("msp-bootstrap", None, "3.0.0.1")),
            (options(), {"global": mkpatch_like, "langpack": wixl_like}, ("Beispiel 2.1", "ACME GmbH", "3.0.0.1")),
            (options(), {"global": summary(A, "x;1,", title="Tool 7")}, ("Tool 7", None, "1.1.0.0")),
            (options(), {"global": summary(A, "70000.0.0.0;1,", subject="a\nb")}, ("msp-bootstrap", None, "1.1.0.0")),
            (options(), {}, ("msp-bootstrap", None, "1.1.0.0")),
            (options(product_name="Own", company="", version="9.8.7.6"), {"global": wixl_like}, ("Own", None, "9.8.7.6")),
        ]:
            got, _ = self.choose(opts, **packages)
            self.assertEqual((got["product_name"], got["company"], got["version"]), expected, (opts, packages))

    def test_unusable_package_values_are_noted(self):
        _, notes = self.choose(options(), g=summary(A, "70000.0.0.0;1,", subject="a\tb"))
        self.assertEqual(len(notes), 2, notes)
        self.assertIn('Keywords "70000.0.0.0;1," of the g package is not used as the version', notes[0] + notes[1])

    def test_refusals(self):
        folder = Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, folder)
        png = b"\x89PNG\r\n\x1a\n" + b"\0" * 16
        files = {"good.ico": icon(), "png.ico": icon((png,)), "cursor.cur": icon(kind=2), "empty.ico": icon(()),
                 "cut.ico": icon()[:30], "jpeg.ico": icon((b"\xff\xd8\xff" + b"\0" * 20,)),
                 "many.ico": icon(count=9)}
        for name, data in files.items():
            (folder / name).write_bytes(data)
        for opts, refused in [
            (options(icon=str(folder / "good.ico")), None),
            (options(icon=str(folder / "png.ico")), None),
            (options(icon=str(folder / "cursor.cur")), "not an icon file"),
            (options(icon=str(folder / "empty.ico")), "holds no image"),
            (options(icon=str(folder / "cut.ico")), "outside the file"),
            (options(icon=str(folder / "jpeg.ico")), "neither a bitmap nor PNG"),
            (options(icon=str(folder / "many.ico")), "cut off"),
            (options(icon=str(folder / "missing.ico")), "cannot be read"),
            (options(version="2.1.6"), "four numbers of at most 65535"),
            (options(version="2.1.6.65536"), "four numbers"),
            (options(version="65535.0.0.65535"), None),
            (options(product_name="Line\nbreak"), "control character U+000A"),
            (options(company="x" * 257), "257 characters long"),
            (options(copyright="©" * 256), None),
            (options(description=""), "--description is empty"),
        ]:
            with self.subTest(opts=opts):
                if refused is None:
                    branding.choose(opts, [], "1.1.0")
                else:
                    with self.assertRaises(branding.Refused) as e:
                        branding.choose(opts, [], "1.1.0")
                    self.assertIn(refused, str(e.exception))

    def test_project_version_is_the_project_line(self):
        self.assertRegex(branding.project_version(), r"^[0-9]+\.[0-9]+\.[0-9]+$")
        r = subprocess.run(["bash", str(ROOT / "build.sh"), "--version"], capture_output=True, text=True, check=True)
        self.assertEqual(r.stdout, branding.project_version() + "\n")

    def test_resource_text_keeps_quotes_and_backslashes(self):
        self.assertEqual(branding.rc_string('a "b" C:\\n\\'), '"a ""b"" C:\\\\n\\\\"')


if __name__ == "__main__":
    unittest.main()
