"""The message catalogue as its resource scripts (res/strings/*.rc) hold it, and the boxes that
show it.

read_catalogue(folder) -> {langid: {id: text}}, the escapes of the scripts
(\\n, \\r, \\t, \\\\, \\", "") resolved, for checks that compare what a box
shows with what the catalogue says.
message_box(language, message, value) -> the Box that the program shows for `message` in
`language`, filled in with `value`: the one place the tests write down each message's caption,
icon and placeholder.
"""
import re
from pathlib import Path

from .scenario import Box

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


CATALOGUE = read_catalogue(Path(__file__).resolve().parents[3] / "res" / "strings")
ENGLISH, GERMAN, FRENCH = 1033, 1031, 1036


def user(locale):
    """The environment that starts a program with `locale` ("de_DE.UTF-8") as the user's language."""
    return {"LANG": locale, "LC_ALL": locale}


USER_ENGLISH, USER_GERMAN = user("en_US.UTF-8"), user("de_DE.UTF-8")

# message: (caption message, icon, placeholder), as the program puts each box together.
LAYOUT = {
    300: (311, "error", "%d"),        # the error code
    301: (312, "information", "%s"),  # the product name, from here on
    306: (313, "error", "%s"),
    308: (311, "error", "%s"),
    307: (311, "error", None),
    309: (311, "error", None),
    310: (311, "error", None),
    314: (311, "error", None),
}


def message_box(language, message, value=None):
    """The box of `message` as the catalogue of `language` says it, filled in with `value` (a
    product name or an error code) as the program does."""
    caption, icon, placeholder = LAYOUT[message]
    text = CATALOGUE[language][message]
    if placeholder:
        text = filled(text, placeholder, "" if value is None else str(value))
    return Box(CATALOGUE[language][caption], text, icon)


def error_code_shown(box, language=ENGLISH):
    """The error code that `box` shows as message 300 of `language`; None when it is not that
    message (caption, icon or text)."""
    caption, icon, placeholder = LAYOUT[300]
    head = CATALOGUE[language][300].split(placeholder)[0]
    code = box.text[len(head):]
    if (box.caption, box.icon) != (CATALOGUE[language][caption], icon) or not box.text.startswith(head) \
            or not code.lstrip("-").isdigit():
        return None
    return int(code)
