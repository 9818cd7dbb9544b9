"""What the Windows build produces: GUI programs for 64-bit and 32-bit
Windows, and the tray program carried inside the client byte for byte."""
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BIN, Wine, require_wine

WIN32_BIN = Path(os.environ.get("BREVARO_WIN32_BIN", ""))


def file_type(path):
    return subprocess.run(["file", "-b", str(path)], capture_output=True, text=True, check=True).stdout


class Artifacts(unittest.TestCase):
    def test_programs_are_windows_gui_executables(self):
        for name in ("brevaro.exe", "Tray.exe"):
            self.assertTrue((BIN / name).exists(), name)
            self.assertIn("PE32+ executable (GUI) x86-64", file_type(BIN / name))
        if not (WIN32_BIN / "brevaro.exe").exists():
            self.skipTest("the 32-bit build is not at BREVARO_WIN32_BIN")
        for name in ("brevaro.exe", "Tray.exe"):
            kind = file_type(WIN32_BIN / name)
            self.assertIn("PE32 executable (GUI) Intel 80386", kind)

    def test_tray_program_is_carried_as_resource(self):
        require_wine(self)
        wine = Wine()
        with tempfile.TemporaryDirectory() as tmp:
            out = Path(tmp) / "tasktray.bin"
            wine.driver("resource", "Z:" + str(BIN / "brevaro.exe").replace("/", "\\"), "tasktray",
                        "Z:" + str(out).replace("/", "\\"))
            self.assertEqual(out.read_bytes(), (BIN / "Tray.exe").read_bytes())


if __name__ == "__main__":
    unittest.main()
