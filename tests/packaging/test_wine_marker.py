"""The marker of a failed installation of Wine's 32-bit part (scripts/windows-target.sh) is believed
only when root alone could have written it, within the last day."""
import os
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "windows-target.sh"


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
                r = subprocess.run(["bash", "-c", 'windows_target_functions_only=1 . "$0"; wine32_marker_says_failed "$1"'
                                    ' && echo "$wine32_marker_note"', SCRIPT, marker], capture_output=True, text=True)
                self.assertEqual(r.returncode == 0, believed, r.stdout + r.stderr)


if __name__ == "__main__":
    unittest.main()
