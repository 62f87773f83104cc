"""The message catalogue as its resource scripts (res/strings/*.rc) hold it.

read_catalogue(folder) -> {langid: {id: text}}, the escapes of the scripts
(\\n, \\r, \\t, \\\\, \\", "") resolved, for checks that compare what a box
shows with what the catalogue says.
"""
import re
from pathlib import Path

_LANGUAGE = re.compile(r"^\s*LANGUAGE\s+(0x[0-9A-Fa-f]+|\d+)\s*,\s*(0x[0-9A-Fa-f]+|\d+)", re.M)
_ENTRY = re.compile(r'^\s*(\d+)\s*,?\s*"((?:[^"\\\n]|\\.|"")*)"\s*$', re.M)
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "a": "\a", "\\": "\\", '"': '"'}


def _unescape(literal):
    out, i = [], 0
    while i < len(literal):
        c = literal[i]
        if c == "\\":
            out.append(_ESCAPES[literal[i + 1]])
            i += 2
        elif c == '"':  # "" inside a literal
            out.append('"')
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_script(path):
    source = Path(path).read_text(encoding="utf-8-sig")
    language = _LANGUAGE.search(source)
    langid = (int(language.group(2), 0) << 10) | int(language.group(1), 0)
    return langid, {int(m.group(1)): _unescape(m.group(2)) for m in _ENTRY.finditer(source)}


def read_catalogue(folder):
    catalogue = {}
    for path in sorted(Path(folder).glob("*.rc")):
        langid, strings = read_script(path)
        catalogue[langid] = strings
    return catalogue


def filled(text, placeholder, value):
    """`text` with its one placeholder replaced, as ShowMessage fills it."""
    return text.replace(placeholder, value, 1)
