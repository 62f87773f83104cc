"""The documentation's relative links lead somewhere: every link and picture in README.md,
docs/*.md and the READMEs of tests/ names a file of the source, and a heading of it where it
names one (as GitHub makes the anchors). The front page keeps the two commands within its first 40 lines,
and names the oldest Windows the manifest lists."""
import re
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def prose(text):
    """The text without fenced code blocks and code spans, where brackets are no links."""
    text = re.sub(r"^```.*?^```", "", text, flags=re.M | re.S)
    return re.sub(r"`[^`\n]*`", "", text)


def anchors(path):
    """The anchors GitHub gives the headings of a Markdown file."""
    seen, out = {}, set()
    for line in prose(path.read_text(encoding="utf-8")).splitlines():
        m = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        out.add(slug if n == 0 else f"{slug}-{n}")
    return out


class DocumentationLinks(unittest.TestCase):
    def test_every_relative_link_resolves(self):
        pages = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md")),
                 *sorted((ROOT / "tests").rglob("README.md"))]
        for page in pages:
            for target in LINK.findall(prose(page.read_text(encoding="utf-8"))):
                if re.match(r"[a-z]+:", target):
                    continue  # https:, mailto:
                file, _, anchor = target.partition("#")
                dest = (page.parent / file).resolve() if file else page
                with self.subTest(page=page.name, link=target):
                    self.assertTrue(dest.exists(), f"{page.name}: {target} leads to no file")
                    if anchor:
                        self.assertIn(anchor, anchors(dest), f"{page.name}: {target} names no heading")

    def test_front_page_starts_with_the_two_commands(self):
        head = "\n".join((ROOT / "README.md").read_text(encoding="utf-8").splitlines()[:40])
        for command in ("./build.sh", "./test.sh"):
            self.assertIn(command, head)

    def test_the_front_page_names_the_oldest_system_of_the_manifest(self):
        # Each supportedOS of the manifest follows a comment naming it, the oldest first.
        manifest = (ROOT / "res" / "update.manifest").read_text(encoding="utf-8")
        oldest = re.findall(r"<!-- (Windows [^<>]*?) -->\s*<supportedOS", manifest)[0]
        self.assertIn(f"It runs on {oldest} ", (ROOT / "README.md").read_text(encoding="utf-8"))


if __name__ == "__main__":
    unittest.main()
