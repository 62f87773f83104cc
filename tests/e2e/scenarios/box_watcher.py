#!/usr/bin/env python3
"""The box watcher reads other programs' message boxes exactly and closes them in time.

A small test program (boxshow) shows boxes whose text and style are known here; the watcher's
report must match them character for character, icons included.
"""
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2elib.scenario import Box, Failure, run_scenarios, scenario  # noqa: E402

MB_ERROR = 0x50010        # MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST
MB_INFORMATION = 0x50040  # MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST
MB_PLAIN = 0x50000        # no icon
ICON = {MB_ERROR: "error", MB_INFORMATION: "information", MB_PLAIN: "none"}

# One sample per language of the message catalogue, with the characters that tell a right
# reading from a wrong one (accents, non-Latin scripts, line breaks, a % sign).
SAMPLES = [
    (MB_INFORMATION, "en-US", "Update", "The update was installed.\nProduct: Sample 1.0 (100%)"),
    (MB_ERROR, "de-DE", "Aktualisierung", "Die Aktualisierung ist fehlgeschlagen.\nFehler: 1603 – „Größe“ prüfen"),
    (MB_INFORMATION, "ja-JP", "更新プログラム", "更新プログラムは正常にインストールされました。\n製品: サンプル"),
    (MB_PLAIN, "cs-CZ", "Aktualizace", "Příliš žluťoučký kůň úpěl ďábelské ódy."),
    (MB_ERROR, "es-ES", "Actualización", "¿La actualización falló? Año: señal incorrecta."),
    (MB_INFORMATION, "fr-FR", "Mise à jour", "La mise à jour a été installée : « Élément » reçu, œuvre."),
    (MB_PLAIN, "hu-HU", "Frissítés", "Árvíztűrő tükörfúrógép – őrült ügyek."),
    (MB_ERROR, "it-IT", "Aggiornamento", "L'aggiornamento è già installato; più perché così."),
    (MB_INFORMATION, "ko-KR", "업데이트", "업데이트가 설치되었습니다.\n제품: 샘플"),
    (MB_PLAIN, "pl-PL", "Aktualizacja", "Zażółć gęślą jaźń, łódź."),
    (MB_ERROR, "pt-BR", "Atualização", "A atualização não foi concluída: ação, coração, você."),
    (MB_INFORMATION, "ru-RU", "Обновление", "Обновление установлено.\nПродукт: «Пример» — ёжик."),
    (MB_PLAIN, "zh-CN", "更新", "更新已成功安装。产品：示例"),
    (MB_ERROR, "zh-TW", "更新", "更新安裝失敗。產品：範例"),
]


def escape(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def box_file(t, name, lines):
    """A boxshow input file; lines are (style, caption, text) or ("sleep", ms)."""
    path = t.path(name)
    out = []
    for line in lines:
        if line[0] == "sleep":
            out.append(f"sleep\t{line[1]}")
        else:
            style, caption, text = line
            out.append(f"{style:x}\t{escape(caption)}\t{escape(text)}")
    path.write_text("\n".join(out) + "\n", encoding="utf-8")
    return t.windows_path(path)


@scenario
def every_catalogue_style_and_language_is_read_exactly(t):
    lines = [(style, caption, text) for style, _, caption, text in SAMPLES]
    r = t.run_program(t.tool("boxshow"), [box_file(t, "boxes.txt", lines)],
                      expect_boxes=[Box(caption, text, ICON[style]) for style, caption, text in lines])
    t.equal(r.exit_code, 0, "boxshow exit code (every box answered)")
    # Each box is read and closed in well under a second.
    gaps = [b - a for a, b in zip(r.box_ms, r.box_ms[1:])]
    t.check(max(gaps) < 1000, f"time between boxes too long: {gaps} ms")


@scenario
def german_error_and_japanese_information_are_told_apart(t):
    de = "Die Aktualisierung konnte nicht installiert werden.\nFehlercode: 1642"
    ja = "更新プログラムは正常にインストールされ、サンプル製品が更新されました。"
    r = t.run_program(t.tool("boxshow"), [box_file(t, "boxes.txt", [(MB_ERROR, "Fehler", de),
                                                                  (MB_INFORMATION, "情報", ja),
                                                                  (MB_PLAIN, "Hinweis", "Ohne Symbol")])])
    t.equal([b.icon for b in r.boxes], ["error", "information", "none"], "icons")
    t.equal([b.text for b in r.boxes], [de, ja, "Ohne Symbol"], "texts")


@scenario
def warning_icon_and_two_buttons(t):
    r = t.run_program(t.tool("boxshow"), [box_file(t, "boxes.txt", [(0x30, "Warnung", "Achtung"),
                                                                  (0x41, "Frage", "OK oder Abbrechen?")])],
                      expect_boxes=[Box("Warnung", "Achtung", "warning"),
                                    Box("Frage", "OK oder Abbrechen?", "information", ("OK", "CANCEL"))])
    t.equal(r.exit_code, 0, "boxshow exit code")


@scenario
def a_box_that_never_comes_fails_in_bounded_time(t):
    # The program ends without any box: the scenario learns it at once.
    started = time.time()
    try:
        t.run_program(t.tool("boxshow"), [box_file(t, "none.txt", [("sleep", 10)])], expect_boxes=1)
    except Failure as e:
        t.check("expected 1 box(es), saw 0" in str(e), f"unexpected failure text: {e}")
    else:
        raise Failure("a missing box was not noticed")
    # The program hangs without showing the box: the watcher gives up after the timeout.
    try:
        t.run_program(t.tool("boxshow"), [box_file(t, "hang.txt", [("sleep", 120000)])], expect_boxes=1,
                      timeout=3)
    except Failure as e:
        t.check("did not end within 3 s" in str(e), f"unexpected failure text: {e}")
    else:
        raise Failure("a hanging program was not noticed")
    t.check(time.time() - started < 20, f"took {time.time() - started:.1f} s")


@scenario
def watcher_beside_a_program_started_by_wine(t):
    # As a user starts it from a shell: the watcher runs as a separate program and stops after
    # the given number of boxes; the exit code comes from wine itself.
    lines = [(MB_ERROR, "Fehler", "Erster Kasten"), (MB_PLAIN, "Hinweis", "Zweiter Kasten")]
    r = t.run_beside(t.tool("boxshow"), [box_file(t, "boxes.txt", lines)], boxes=2, timeout=30)
    t.equal(r.boxes, [Box("Fehler", "Erster Kasten", "error"), Box("Hinweis", "Zweiter Kasten", "none")], "boxes")
    t.equal(r.exit_code, 0, "exit code through wine")


@scenario
def without_a_display_a_box_fails_at_once(t):
    # Quiet-mode and report scenarios may run headless: a box there must not block.
    r = t.run_program(t.tool("boxshow"), [box_file(t, "box.txt", [(MB_ERROR, "Fehler", "Kein Bildschirm")])],
                      display=False, timeout=20)
    t.equal(r.exit_code, 1, "boxshow exit code (the box could not be shown)")


if __name__ == "__main__":
    sys.exit(run_scenarios())
