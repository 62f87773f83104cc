"""scripts/windows-target.sh: its hand-made 32-bit program runs exactly where one that the
assembler and linker make runs; the marker of a failed installation of Wine's 32-bit part is
believed only when root alone could have written it, within the last day."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "windows-target.sh"


def bash(script, *args):
    return subprocess.run(["bash", "-c", 'windows_target_functions_only=1 . "$0"; ' + script, SCRIPT, *args],
                          capture_output=True, text=True)


class KernelProbe(unittest.TestCase):
    @unittest.skipUnless(shutil.which("as") and shutil.which("ld"), "needs binutils' as and ld")
    def test_the_probe_runs_where_a_linked_32_bit_program_runs(self):
        with tempfile.TemporaryDirectory() as folder:
            source, program = Path(folder) / "exit.s", Path(folder) / "exit"
            source.write_text(".globl _start\n_start: xor %ebx, %ebx\n mov $1, %eax\n int $0x80\n")
            subprocess.run(["as", "--32", "-o", f"{source}.o", str(source)], check=True)
            subprocess.run(["ld", "-m", "elf_i386", "-o", str(program), f"{source}.o"], check=True)
            try:
                linked = subprocess.run([str(program)]).returncode == 0
            except OSError:  # Exec format error
                linked = False
        self.assertEqual(bash("kernel_runs_32bit").returncode, 0 if linked else 1)


@unittest.skipUnless(os.geteuid() == 0, "makes files of root's and of others")
class WineMarker(unittest.TestCase):
    def test_only_a_fresh_marker_of_roots_is_believed(self):
        hour = 3600
        for name, folder_mode, mode, owner, age, link, believed in [
            ("fresh", 0o755, 0o644, 0, hour, False, True),
            ("more than a day old", 0o755, 0o644, 0, 25 * hour, False, False),
            ("from the future", 0o755, 0o644, 0, -hour, False, False),
            ("another's", 0o755, 0o644, 65534, hour, False, False),
            ("writable by others", 0o755, 0o666, 0, hour, False, False),
            ("in a folder others write", 0o777, 0o644, 0, hour, False, False),
            ("a link to root's file", 0o755, 0o644, 0, hour, True, False),
        ]:
            with self.subTest(name), tempfile.TemporaryDirectory() as top:
                folder = Path(top) / "state"
                folder.mkdir()
                folder.chmod(folder_mode)
                marker = target = folder / "wine32-unavailable"
                if link:
                    target = Path(top) / "elsewhere"
                    marker.symlink_to(target)
                target.touch()
                target.chmod(mode)
                os.chown(target, owner, owner)
                os.utime(target, (time.time() - age,) * 2)
                r = bash('wine32_marker_says_failed "$1" && echo "$wine32_marker_note"', marker)
                self.assertEqual(r.returncode == 0, believed, r.stdout + r.stderr)


if __name__ == "__main__":
    unittest.main()
