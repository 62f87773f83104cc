"""The documentation's pictures of the boxes (docs/pictures), taken by the scenarios that show those
boxes anyway.

picture(t, name, result) marks the one box of `result` as the picture `name`. Run as tests, the
scenarios check that the picture still shows what this build shows (docs/pictures/boxes.json).
Run by docs/make-pictures.sh (E2E_SHOTS set, screenshots taken), they note which PNG shows it.
"""
import json
import os
import re
from pathlib import Path

PICTURES = Path(__file__).resolve().parents[3] / "docs" / "pictures"


def comparable(text):
    """The box text without the line of the running Windows, which depends on Wine's version."""
    return re.sub(r"(OSInfo:\n\t).*", r"\1...", text)


def picture(t, name, result):
    t.equal(len(result.boxes), 1, f"boxes of the run for {name}.png")
    box = result.boxes[0]
    shown = {"caption": box.caption, "text": comparable(box.text), "icon": box.icon}
    shots = os.environ.get("E2E_SHOTS")
    if shots:
        with open(Path(shots) / "pictures.jsonl", "a", encoding="utf-8") as f:
            f.write(json.dumps({"name": name, "png": f"{t.name}/run{t._runs}-box1.png", **shown}) + "\n")
        return
    pictured = json.loads((PICTURES / "boxes.json").read_text(encoding="utf-8")).get(name)
    t.equal(shown, pictured, f"docs/pictures/{name}.png differs from this build; make the pictures again "
            "with docs/make-pictures.sh")
