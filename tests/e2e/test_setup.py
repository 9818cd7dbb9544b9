"""The installer wizard and the uninstaller with the real brevaro.exe under
Wine: the wizard driven through its buttons installs into
C:\\Program Files\\brevaro, Finish starts the client and the tray, and
Uninstall.exe, driven the same way while both run, removes it all again.
BREVARO_SETUP_CYCLES repeats the whole cycle (scripts/soak)."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from harness import BIN, ProgramFolder, Wine, require_wine, wait_until

INSTALLER = "brevaro program installation"
UNINSTALLER = "brevaro program un-installer"
CLIENT = "brevaro"
DEST = "C:\\Program Files\\brevaro"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"
SOURCE_ROOT = Path(__file__).resolve().parents[2]


class Setup(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.wine = Wine()
        self.dest = self.wine.unix(DEST + "\\")
        self.end_installed_programs()
        shutil.rmtree(self.dest, ignore_errors=True)
        self.reg("delete", RUN_KEY, "/v", "brevaroTray", "/f")
        self.desktop = self.shell_folder("Desktop")
        self.programs = self.shell_folder("Start Menu") + "\\Programs"
        for link in self.links().values():
            Path(self.wine.unix(link)).unlink(missing_ok=True)

    def tearDown(self):
        self.end_installed_programs()
        self.wine.stop_all()
        for caption in (INSTALLER, UNINSTALLER):
            self.wine.wait_gone(caption, 10000)
        self.reg("delete", RUN_KEY, "/v", "brevaroTray", "/f")
        for link in self.links().values():
            Path(self.wine.unix(link)).unlink(missing_ok=True)

    # ---- the machine, seen from outside

    def wine_run(self, *args):
        with tempfile.TemporaryFile() as out:
            p = subprocess.run(["wine", *args], env=self.wine.env, stdin=subprocess.DEVNULL,
                                             stdout=out, stderr=out, timeout=60)
            out.seek(0)
            return p.returncode, out.read().decode("utf-8", "replace")

    def reg(self, *args):
        return self.wine_run("reg", *args)

    def reg_value(self, key, name):
        rc, out = self.reg("query", key, "/v", name)
        if rc != 0:
            return None
        for line in out.splitlines():
            m = re.match(r"\s*" + re.escape(name) + r"\s+REG_\w+\s+(.*?)\r?$", line, re.IGNORECASE)
            if m:
                return m.group(1)
        return None

    def shell_folder(self, name):
        value = self.reg_value(SHELL_FOLDERS, name)
        self.assertTrue(value, f"no Shell Folders value {name} in the prefix")
        return value

    def links(self):
        return {"desktop": self.desktop + "\\brevaro.lnk",
                "menu": self.programs + "\\brevaro\\brevaro.lnk",
                "uninstall": self.programs + "\\brevaro\\Uninstall.lnk"}

    def installed_processes(self, name):
        """Linux pids of this prefix's processes running DEST\\name."""
        pids = []
        needle = (DEST + "\\" + name).lower().encode()
        for d in Path("/proc").iterdir():
            if not d.name.isdigit():
                continue
            try:
                cmd = (d / "cmdline").read_bytes().lower()
                env = (d / "environ").read_bytes()
            except OSError:
                continue
            if needle in cmd and b"WINEPREFIX=" + str(self.wine.prefix).encode() + b"\0" in env:
                pids.append(int(d.name))
        return pids

    def end_installed_programs(self):
        # Programs that Finish started belong to no process handle of ours:
        # they are ended by their ids, found by their command lines.
        for name in ("brevaro.exe", "Tray.exe"):
            for pid in self.installed_processes(name):
                try:
                    os.kill(pid, 9)
                except ProcessLookupError:
                    pass
        wait_until(lambda: not self.installed_processes("brevaro.exe") and not self.installed_processes("Tray.exe"), 10)

    def press(self, caption, button):
        self.wine.driver("press", caption, button)

    def has(self, caption, text):
        return self.wine.driver("has", caption, text, check=False).returncode == 0

    # ---- the cycle

    def install(self, source):
        new_folder = not self.dest.exists()
        exe = source.add_exe()
        shutil.copyfile(SOURCE_ROOT / "res" / "art" / "bv.swf", source.path / "bv.swf")
        self.wine.start(exe)
        self.assertTrue(self.wine.wait_window(INSTALLER, 30000))
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Next >")))
        self.assertFalse(self.has(INSTALLER, "< &Back"))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "< &Back")))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Finish"), 30), "the last page did not come")
        self.assertFalse(self.has(INSTALLER, "< &Back"))

        exe_bytes = (BIN / "brevaro.exe").read_bytes()
        self.assertEqual((self.dest / "brevaro.exe").read_bytes(), exe_bytes)
        self.assertEqual((self.dest / "Uninstall.exe").read_bytes(), exe_bytes)
        with tempfile.TemporaryDirectory() as tmp:
            tray = Path(tmp) / "tray.bin"
            self.wine.driver("resource", self.wine_path(BIN / "brevaro.exe"), "tasktray", self.wine_path(tray))
            self.assertEqual((self.dest / "Tray.exe").read_bytes(), tray.read_bytes())
        self.assertEqual((self.dest / "Data" / "bv.swf").read_bytes(), (source.path / "bv.swf").read_bytes())
        # A new folder gets all data folders; into the folder that an earlier
        # un-installation left (with its Uninstall.exe) only Data is made,
        # and the client makes the other two when it starts.
        for sub in ("Download", "Banners"):
            self.assertEqual((self.dest / "Data" / sub).is_dir(), new_folder, sub)
        ini = (self.dest / "Data" / "Brevaro.ini").read_bytes().decode("latin-1")
        self.assertRegex(ini, r"^\[Default\]\r\nUN=\d{18}\r\n$")

        wanted = {"desktop": DEST + "\\brevaro.exe", "menu": DEST + "\\brevaro.exe", "uninstall": DEST + "\\Uninstall.exe"}
        for what, link in self.links().items():
            self.assertEqual(self.wine.driver("link", link).stdout.strip(), wanted[what], link)
        self.assertEqual(self.reg_value(RUN_KEY, "brevaroTray"), '"' + DEST + '\\Tray.exe"')

        # Finish starts the client and the tray, and the wizard ends.
        self.press(INSTALLER, "&Finish")
        self.assertTrue(wait_until(lambda: bool(self.installed_processes("Tray.exe")), 20, 0.02), "Tray.exe not started")
        self.assertTrue(self.wine.wait_window(CLIENT, 30000), "the client did not start")
        self.assertTrue(self.wine.wait_gone(INSTALLER))
        for sub in ("Download", "Banners"):
            self.assertTrue((self.dest / "Data" / sub).is_dir(), sub)

    def wine_path(self, unix_path):
        # Wine maps the Unix root as drive Z:.
        return "Z:" + str(unix_path).replace("/", "\\")

    def uninstall(self):
        started = time.monotonic()
        self.wine.start(self.dest / "Uninstall.exe")
        self.assertTrue(self.wine.wait_window(UNINSTALLER, 30000))
        self.assertTrue(wait_until(lambda: self.has(UNINSTALLER, "&Next >")))
        self.press(UNINSTALLER, "&Next >")
        # Both programs close through the handshake: no question after 30 s.
        self.assertTrue(wait_until(lambda: self.has(UNINSTALLER, "&Finish"), 28), "the uninstallation did not end")
        self.assertTrue(self.wine.wait_gone(CLIENT))
        self.assertFalse(self.installed_processes("brevaro.exe"))
        self.assertFalse(self.installed_processes("Tray.exe"))

        self.assertEqual(sorted(p.name for p in self.dest.iterdir()), ["Uninstall.exe"])
        for link in self.links().values():
            self.assertFalse(Path(self.wine.unix(link)).exists(), link)
        self.assertFalse(Path(self.wine.unix(self.programs + "\\brevaro")).exists())
        self.assertIsNone(self.reg_value(RUN_KEY, "brevaroTray"))
        self.press(UNINSTALLER, "&Finish")
        self.assertTrue(self.wine.wait_gone(UNINSTALLER))
        return time.monotonic() - started

    def test_install_run_uninstall(self):
        cycles = int(os.environ.get("BREVARO_SETUP_CYCLES", "1"))
        source = ProgramFolder(self.wine, "setup-source")
        started = time.monotonic()
        for n in range(cycles):
            print(f"cycle {n + 1}/{cycles}", flush=True)
            self.install(source)
            time.sleep(1)  # the client runs for a moment
            self.uninstall()
            self.wine.stop_all()
            print(f"cycle {n + 1}/{cycles} clean after {time.monotonic() - started:.1f} s", flush=True)

    def test_browse_chooses_the_product_sub_folder(self):
        # The shell's folder browser opens at the installer's own folder;
        # OK there makes that folder + "brevaro" the destination. The folder
        # lies right below the drive: Wine's browser selects a start folder
        # further down only once its tree has been opened that far.
        source_path = self.wine.unix("C:\\setup-browse\\")
        shutil.rmtree(source_path, ignore_errors=True)
        source_path.mkdir(parents=True)
        shutil.copyfile(BIN / "brevaro.exe", source_path / "brevaro.exe")
        self.wine.start(source_path / "brevaro.exe")
        self.assertTrue(self.wine.wait_window(INSTALLER, 30000))
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Next >")))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "Browse")))
        self.press(INSTALLER, "Browse")
        self.assertTrue(self.wine.wait_window("Browse for Folder"))
        # OK only once the start folder is selected (its name in the edit box).
        selected = wait_until(lambda: self.has("Browse for Folder", "setup-browse"))
        self.press("Browse for Folder", "OK" if selected else "Cancel")
        self.assertTrue(selected, "the browser did not open at the installer's folder")
        self.assertTrue(self.wine.wait_gone("Browse for Folder"))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Finish"), 30), "the last page did not come")
        installed = source_path / "brevaro"
        self.assertEqual((installed / "brevaro.exe").read_bytes(), (BIN / "brevaro.exe").read_bytes())
        self.assertEqual(self.reg_value(RUN_KEY, "brevaroTray"), '"C:\\setup-browse\\brevaro\\Tray.exe"')
        # The close box ends the wizard without starting anything.
        self.wine.driver("close", INSTALLER)
        self.assertTrue(self.wine.wait_gone(INSTALLER))
        self.assertFalse(self.installed_processes("Tray.exe"))


if __name__ == "__main__":
    unittest.main()
