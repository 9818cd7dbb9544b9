"""The installer wizard and the uninstaller with the real brevaro.exe under
Wine: the wizard driven through its buttons installs into the user's own
programs folder (LocalAppData\\Programs\\brevaro), writes the shortcuts into
the folders the shell names, the Run value and the Apps entry; Finish starts
the client and the tray; the installer run again over the running programs
closes them through the handshake and copies; Uninstall.exe, driven the same
way while both run, removes it all again. BREVARO_SETUP_CYCLES repeats the
whole cycle (scripts/soak).

SetupSteps holds the steps; test_standard_user and test_unicode_names run
them in other users' prefixes."""
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
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
APPS_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\brevaro"
ELEVATED_MESSAGE = ("brevaro has been installed. The installer runs as administrator, so it does not start brevaro "
                    "itself.\rStart brevaro from the Start menu (brevaro).")
SOURCE_ROOT = Path(__file__).resolve().parents[2]


def product_version():
    m = re.search(r"^project\(brevaro\s+VERSION\s+([0-9.]+)", (SOURCE_ROOT / "CMakeLists.txt").read_text(), re.M)
    return m.group(1)


def wine_path(unix_path):
    # Wine maps the Unix root as drive Z:.
    return "Z:" + str(unix_path).replace("/", "\\")


class SetupSteps:
    """The installation's steps, seen from outside, in `self.wine`'s prefix.
    The user of the class sets self.wine and calls prepare() first."""

    def prepare(self):
        # Every per-user folder as this prefix's shell names it.
        self.dest_win = self.known_folder("local-app-data") + "\\Programs\\brevaro"
        self.dest = self.wine.unix(self.dest_win + "\\")
        self.desktop = self.known_folder("desktop")
        self.programs = self.known_folder("programs")
        self.clean()

    def clean(self):
        self.end_installed_programs()
        shutil.rmtree(self.dest, ignore_errors=True)
        self.reg("delete", RUN_KEY, "/v", "brevaroTray", "/f")
        self.reg("delete", APPS_KEY, "/f")
        for link in self.links().values():
            Path(self.wine.unix(link)).unlink(missing_ok=True)

    def finish_cleanly(self):
        self.end_installed_programs()
        self.wine.stop_all()
        for caption in (INSTALLER, UNINSTALLER):
            self.wine.wait_gone(caption, 10000)
        self.clean()

    # ---- the machine, seen from outside

    def reg(self, *args):
        with tempfile.TemporaryFile() as out:
            p = subprocess.run(self.wine.command("reg", *args), env=self.wine.env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=out, timeout=60)
            return p.returncode

    def reg_value(self, key, name):
        """(type, data) of a value, read with RegQueryValueExW; None when it is not there."""
        r = self.wine.driver("reg-read", key, name, check=False)
        if r.returncode != 0:
            return None
        kind, _, data = r.stdout.rstrip("\r\n").partition("\t")
        return kind, data

    def key_exists(self, key):
        return self.wine.driver("reg-read", key, check=False).returncode == 0

    def known_folder(self, name):
        # A driver that failed to start (a loaded machine) is tried again.
        for _ in range(3):
            r = self.wine.driver("known-folder", name, check=False)
            if r.returncode == 0 and r.stdout.strip():
                return r.stdout.strip()
            time.sleep(0.5)
        self.fail(f"the shell names no folder {name}: {r.stderr.strip()} (exit {r.returncode})")

    def links(self):
        return {"desktop": self.desktop + "\\brevaro.lnk",
                "menu": self.programs + "\\brevaro\\brevaro.lnk",
                "uninstall": self.programs + "\\brevaro\\Uninstall.lnk"}

    def installed_processes(self, name):
        """Linux pids of this prefix's processes running the installed `name`."""
        pids = []
        # Wine shows the Windows path of a program started by a Windows
        # program, and the Unix path of one started from the Unix side.
        needles = [(self.dest_win + "\\" + name).encode().lower(), str(self.dest / name).encode().lower()]
        for d in Path("/proc").iterdir():
            if not d.name.isdigit():
                continue
            try:
                cmd = (d / "cmdline").read_bytes().lower()
                env = (d / "environ").read_bytes()
            except OSError:
                continue
            if any(n in cmd for n in needles) and b"WINEPREFIX=" + str(self.wine.prefix).encode() + b"\0" in env:
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

    # ---- the steps

    def start_installer(self, exe):
        self.wine.start(exe)
        self.assertTrue(self.wine.wait_window(INSTALLER, 30000))
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Next >")))
        self.assertFalse(self.has(INSTALLER, "< &Back"))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "< &Back")))

    def run_wizard(self, exe, finish_within=30):
        self.start_installer(exe)
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Finish"), finish_within), "the last page did not come")
        self.assertFalse(self.has(INSTALLER, "< &Back"))

    def check_installed_files(self, source):
        exe_bytes = (BIN / "brevaro.exe").read_bytes()
        self.assertEqual((self.dest / "brevaro.exe").read_bytes(), exe_bytes)
        self.assertEqual((self.dest / "Uninstall.exe").read_bytes(), exe_bytes)
        self.assertEqual((self.dest / "Tray.exe").read_bytes(), self.tray_bytes())
        self.assertEqual((self.dest / "Data" / "bv.swf").read_bytes(), (source / "bv.swf").read_bytes())
        ini = (self.dest / "Data" / "Brevaro.ini").read_bytes().decode("latin-1")
        self.assertRegex(ini, r"^\[Default\]\r\nUN=\d{18}\r\n$")

    def tray_bytes(self):
        if not hasattr(SetupSteps, "_tray"):
            with tempfile.TemporaryDirectory() as tmp:
                tray = Path(tmp) / "tray.bin"
                # The driver may run as another user: it writes into a folder of its own.
                os.chmod(tmp, 0o777)
                self.wine.driver("resource", wine_path(BIN / "brevaro.exe"), "tasktray", wine_path(tray))
                SetupSteps._tray = tray.read_bytes()
        return SetupSteps._tray

    def check_links_and_values(self):
        wanted = {"desktop": self.dest_win + "\\brevaro.exe", "menu": self.dest_win + "\\brevaro.exe",
                  "uninstall": self.dest_win + "\\Uninstall.exe"}
        for what, link in self.links().items():
            self.assertEqual(self.wine.driver("link", link).stdout.strip(), wanted[what], link)
        self.assertEqual(self.reg_value(RUN_KEY, "brevaroTray"), ("REG_SZ", '"' + self.dest_win + '\\Tray.exe"'))

    def installed_size_kib(self):
        # The plain files of the folder, Data, Data\Download and Data\Banners.
        total = 0
        for folder in (self.dest, self.dest / "Data", self.dest / "Data" / "Download", self.dest / "Data" / "Banners"):
            if folder.is_dir():
                total += sum(f.stat().st_size for f in folder.iterdir() if f.is_file())
        return (total + 1023) // 1024

    def check_apps_entry(self):
        expected = {
            "DisplayName": ("REG_SZ", "brevaro"),
            "DisplayVersion": ("REG_SZ", product_version()),
            "Publisher": ("REG_SZ", "brevaro"),
            "InstallLocation": ("REG_SZ", self.dest_win),
            "DisplayIcon": ("REG_SZ", self.dest_win + "\\brevaro.exe"),
            "UninstallString": ("REG_SZ", '"' + self.dest_win + '\\Uninstall.exe"'),
            "NoModify": ("REG_DWORD", "1"),
            "NoRepair": ("REG_DWORD", "1"),
            "EstimatedSize": ("REG_DWORD", str(self.installed_size_kib())),
        }
        for name, value in expected.items():
            self.assertEqual(self.reg_value(APPS_KEY, name), value, name)

    def install(self, source):
        """A fresh installation from `source` (a Unix folder inside the
        prefix with brevaro.exe and bv.swf); Finish starts client and tray."""
        new_folder = not self.dest.exists()
        self.run_wizard(source / "brevaro.exe")
        self.check_installed_files(source)
        # A new folder gets all data folders; into the folder that an earlier
        # un-installation left (with its Uninstall.exe) only Data is made,
        # and the client makes the other two when it starts.
        for sub in ("Download", "Banners"):
            self.assertEqual((self.dest / "Data" / sub).is_dir(), new_folder, sub)
        self.check_links_and_values()
        self.check_apps_entry()
        self.finish()

    def runs_elevated(self):
        """Whether this prefix's programs run with more rights than its
        desktop shell, the installer's rule: an elevated token where the
        shell's is known and not elevated (this Wine gives every process the
        full administrator token and shows no shell window: nobody counts as
        elevated there)."""
        if not hasattr(self, "_elevated"):
            own, _, shell = self.wine.driver("elevation").stdout.split()[:3]
            self._elevated = own == "1" and shell == "0"
        return self._elevated

    def finish(self):
        # Finish starts the client and the tray, and the wizard ends. An
        # elevated installer starts nothing (the programs would keep its
        # rights) and says so: then they are started as the user starts
        # them, from the installed folder.
        self.press(INSTALLER, "&Finish")
        if self.runs_elevated():
            self.assertTrue(self.wine.wait_window("Information"), "no word that nothing was started")
            self.assertTrue(wait_until(lambda: self.has("Information", ELEVATED_MESSAGE)))
            self.press("Information", "OK")
            self.assertTrue(self.wine.wait_gone(INSTALLER))
            self.assertFalse(self.installed_processes("brevaro.exe") or self.installed_processes("Tray.exe"))
            self.wine.start(self.dest / "Tray.exe")
            self.wine.start(self.dest / "brevaro.exe")
        self.assertTrue(wait_until(lambda: bool(self.installed_processes("Tray.exe")), 20, 0.02), "Tray.exe not started")
        self.assertTrue(self.wine.wait_window(CLIENT, 30000), "the client did not start")
        self.assertTrue(self.wine.wait_gone(INSTALLER))
        for sub in ("Download", "Banners"):
            self.assertTrue((self.dest / "Data" / sub).is_dir(), sub)
        # The tray looks for its close request every 100 ms: by now it has
        # seen any that was left in the folder.
        self.assertTrue(self.installed_processes("Tray.exe"), "the tray ended right after its start")

    def install_over_running_programs(self, source):
        """The installer again on the folder whose client and tray run: both
        close through the handshake and the copy is made."""
        self.assertTrue(self.installed_processes("brevaro.exe") and self.installed_processes("Tray.exe"))
        for answer in ("BVClosed.dat", "TClosed.dat"):
            (self.dest / answer).unlink(missing_ok=True)
        started = time.monotonic()
        # Closing takes a few seconds; the question comes only after 30.
        self.run_wizard(source / "brevaro.exe", finish_within=28)
        print(f"installed over the running programs in {time.monotonic() - started:.1f} s", flush=True)
        self.assertTrue(self.wine.wait_gone(CLIENT))
        self.assertFalse(self.installed_processes("brevaro.exe"))
        self.assertFalse(self.installed_processes("Tray.exe"))
        self.assertEqual((self.dest / "BVClosed.dat").read_bytes(), b"BVClosed.\r\n")
        self.assertEqual((self.dest / "TClosed.dat").read_bytes(), b"TrayClosed.\r\n")
        for request in ("Close.dat", "TClose.dat"):
            self.assertFalse((self.dest / request).exists(), request)
        self.check_installed_files(source)
        self.check_links_and_values()
        self.check_apps_entry()
        self.finish()

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
        self.assertFalse(self.key_exists(APPS_KEY), "the Apps entry is still there")
        self.press(UNINSTALLER, "&Finish")
        self.assertTrue(self.wine.wait_gone(UNINSTALLER))
        return time.monotonic() - started


def source_folder(wine, name):
    """A folder with the installer and the default movie beside it."""
    source = ProgramFolder(wine, name)
    source.add_exe()
    shutil.copyfile(SOURCE_ROOT / "res" / "art" / "bv.swf", source.path / "bv.swf")
    return source.path


class Setup(SetupSteps, unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.wine = Wine()
        self.prepare()

    def tearDown(self):
        self.finish_cleanly()

    def test_install_run_uninstall(self):
        cycles = int(os.environ.get("BREVARO_SETUP_CYCLES", "1"))
        source = source_folder(self.wine, "setup-source")
        started = time.monotonic()
        for n in range(cycles):
            print(f"cycle {n + 1}/{cycles}", flush=True)
            self.install(source)
            time.sleep(1)  # the client runs for a moment
            self.uninstall()
            self.wine.stop_all()
            print(f"cycle {n + 1}/{cycles} clean after {time.monotonic() - started:.1f} s", flush=True)

    def test_install_over_running_programs(self):
        source = source_folder(self.wine, "setup-upgrade")
        self.install(source)
        self.install_over_running_programs(source)
        self.uninstall()

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
        self.assertEqual(self.reg_value(RUN_KEY, "brevaroTray"), ("REG_SZ", '"C:\\setup-browse\\brevaro\\Tray.exe"'))
        self.assertEqual(self.reg_value(APPS_KEY, "InstallLocation"), ("REG_SZ", "C:\\setup-browse\\brevaro"))
        self.assertFalse(self.dest.exists(), "the default destination was made too")
        # The close box ends the wizard without starting anything.
        self.wine.driver("close", INSTALLER)
        self.assertTrue(self.wine.wait_gone(INSTALLER))
        self.assertFalse(self.installed_processes("Tray.exe"))


if __name__ == "__main__":
    unittest.main()
