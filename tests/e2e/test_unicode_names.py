"""The installation under names in any script: for each name a Unix user of
that name (so Wine's profile is C:\\users\\<name> and every per-user folder
holds it), with its own prefix, and the installer in a folder named with it.
In each: the driver sees its own path under the name; the installation
completes into the user's own programs folder; the shortcuts lead to the
installed programs; the Run value and the Apps entry read back exactly
(RegQueryValueExW); the client answers the close handshake; the next start,
through the desktop shortcut, is the client and not the wizard; the
uninstaller removes links, files and the Apps entry.

The names: Greek, CJK, Polish (Latin Extended) and an emoji outside the
Basic Multilingual Plane, a surrogate pair in UTF-16."""
import shutil
import subprocess
import tempfile
import unittest

from harness import BIN, WineUser, require_wine, wait_until
from test_setup import APPS_KEY, CLIENT, INSTALLER, SOURCE_ROOT, SetupSteps

GREEK = "Δημήτρης"
CJK = "李雷"
POLISH = "Łukasz"
EMOJI = "\U0001F600"  # 😀


class UnicodeNames(SetupSteps, unittest.TestCase):
    def setUp(self):
        require_wine(self)

    def as_user(self, name):
        self.user = WineUser(name)
        self.addCleanup(self.user.close)
        self.wine = self.user.wine
        self.prepare()
        self.addCleanup(self.finish_cleanly)

    def user_folder(self, winpath):
        folder = self.wine.unix(winpath + "\\")
        folder.mkdir(parents=True, exist_ok=True)
        return folder

    def give_to_user(self, folder):
        subprocess.run(["chown", "-R", f"{self.user.uid}:{self.user.gid}", str(folder)], check=True)

    def wine_output(self, *args):
        with tempfile.TemporaryFile() as out:
            p = subprocess.run(self.wine.command(*args), env=self.wine.env, stdin=subprocess.DEVNULL, stdout=out,
                               stderr=out, timeout=60)
            out.seek(0)
            return p.returncode, out.read()

    def check_name(self, name):
        self.as_user(name)
        profile = self.known_folder("profile")
        self.assertEqual(profile, "C:\\users\\" + name)
        self.assertEqual(self.dest_win, profile + "\\AppData\\Local\\Programs\\brevaro")
        for folder in (self.desktop, self.programs):
            self.assertTrue(folder.startswith(profile + "\\"), folder)

        # A program in a folder under the name sees its true path.
        probe_win = f"{profile}\\{name}"
        probe = self.user_folder(probe_win)
        shutil.copyfile(BIN / "driver.exe", probe / "driver.exe")
        self.give_to_user(probe)
        rc, out = self.wine_output(probe / "driver.exe", "module-path")
        self.assertEqual((rc, out.decode("utf-8").strip()), (0, probe_win + "\\driver.exe"))

        # The installer in a folder named with it.
        source_win = f"{profile}\\Downloads\\{name} setup"
        source = self.user_folder(source_win)
        shutil.copyfile(BIN / "brevaro.exe", source / "brevaro.exe")
        shutil.copyfile(SOURCE_ROOT / "res" / "art" / "bv.swf", source / "bv.swf")
        self.give_to_user(source)
        self.run_wizard(source / "brevaro.exe")
        self.check_installed_files(source)
        self.check_links_and_values()  # the links' targets and the Run value, exactly
        self.check_apps_entry()
        self.finish()

        # The close handshake: the request file ends the client, which
        # answers before it goes.
        (self.dest / "BVClosed.dat").unlink(missing_ok=True)
        (self.dest / "Close.dat").write_bytes(b"Close Now.\r\n")
        self.assertTrue(self.wine.wait_gone(CLIENT), "the client did not close")
        self.assertTrue(wait_until(lambda: not self.installed_processes("brevaro.exe"), 10))
        self.assertEqual((self.dest / "BVClosed.dat").read_bytes(), b"BVClosed.\r\n")
        self.assertFalse((self.dest / "Close.dat").exists())

        # The next start of the program the desktop shortcut names is the
        # client. (It is started by its path: this Wine's shell resolves a
        # shortcut through the path it stores in the ANSI code page, and
        # ShellExecuteEx of the link then answers "File not found" for a
        # name outside that code page; the shortcut's item list, which the
        # driver reads, holds the true name.)
        target = self.wine.driver("link", self.links()["desktop"]).stdout.strip()
        self.assertEqual(target, self.dest_win + "\\brevaro.exe")
        self.wine.procs.append(subprocess.Popen(self.wine.command(target), cwd=str(self.dest), env=self.wine.env,
                                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))
        self.assertTrue(self.wine.wait_window(CLIENT, 30000), "the client did not start from its shortcut")
        self.assertTrue(wait_until(lambda: bool(self.installed_processes("brevaro.exe")), 10))
        self.assertNotIn(INSTALLER, [caption for _, _, caption in self.wine.windows()])

        self.uninstall()
        self.assertFalse(self.key_exists(APPS_KEY))

    def test_greek_name(self):
        self.check_name(GREEK)

    def test_cjk_name(self):
        self.check_name(CJK)

    def test_polish_name(self):
        self.check_name(POLISH)

    def test_emoji_name(self):
        self.check_name(EMOJI)


if __name__ == "__main__":
    unittest.main()
