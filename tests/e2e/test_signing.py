"""The programs as built for this run are signed (scripts/test signs them
with a throwaway code-signing authority made at test time): brevaro.exe,
Tray.exe, and the tray program the client carries and the installer writes
out, each verified by osslsigncode against that authority; a copy with one
byte changed does not verify."""
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from harness import BIN, Wine, require_wine


def verify(ca, exe):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(ca), "-in", str(exe)],
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          timeout=60).returncode == 0


class Signing(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        ca = os.environ.get("BREVARO_SIGN_CA", "")
        if not ca or not shutil.which("osslsigncode"):
            self.skipTest("signing needs BREVARO_SIGN_CA (scripts/test makes one) and osslsigncode")
        self.ca = Path(ca)
        self.wine = Wine()

    def test_both_programs_and_the_embedded_tray_verify(self):
        with tempfile.TemporaryDirectory() as tmp:
            tray = Path(tmp) / "Tray.exe"
            self.wine.driver("resource", "Z:" + str(BIN / "brevaro.exe").replace("/", "\\"), "tasktray",
                             "Z:" + str(tray).replace("/", "\\"))
            self.assertEqual(tray.read_bytes(), (BIN / "Tray.exe").read_bytes())
            for exe in (BIN / "brevaro.exe", BIN / "Tray.exe", tray):
                self.assertTrue(verify(self.ca, exe), f"{exe} does not verify")
            # The check can fail: a changed byte in the code breaks the signature.
            tampered = Path(tmp) / "tampered.exe"
            data = bytearray((BIN / "brevaro.exe").read_bytes())
            data[len(data) // 3] ^= 0xFF
            tampered.write_bytes(bytes(data))
            self.assertFalse(verify(self.ca, tampered))


if __name__ == "__main__":
    unittest.main()
