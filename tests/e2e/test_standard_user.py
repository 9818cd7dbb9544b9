"""The installation as a standard Windows user meets it: Wine run as an
ordinary Unix user made for the test, with its own HOME, prefix and
wineserver, and a C:\\Program Files it cannot write. The default
installation lands in the user's own programs folder, client and tray run
and answer the close handshake, the uninstaller removes everything with the
Apps entry; a destination under C:\\Program Files is refused on the
destination page."""
import shutil
import subprocess
import unittest

from harness import BIN, Service, WineUser, require_wine, wait_until
from test_setup import APPS_KEY, INSTALLER, SOURCE_ROOT, SetupSteps

USER = "brevaro-e2e"
INTERNET_SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"


class StandardUser(SetupSteps, unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.user = WineUser(USER)
        self.addCleanup(self.user.close)
        self.wine = self.user.wine
        self.prepare()

    def tearDown(self):
        self.finish_cleanly()

    def installer_in(self, winfolder, owner_is_user=True):
        """The installer (with the default movie) in a folder of the user's
        prefix: one of its own, or one only root may write."""
        folder = self.wine.unix(winfolder + "\\")
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(BIN / "brevaro.exe", folder / "brevaro.exe")
        shutil.copyfile(SOURCE_ROOT / "res" / "art" / "bv.swf", folder / "bv.swf")
        if owner_is_user:
            subprocess.run(["chown", "-R", f"{self.user.uid}:{self.user.gid}", str(folder)], check=True)
        return folder

    def test_install_run_uninstall(self):
        profile = self.known_folder("profile")
        self.assertEqual(profile, "C:\\users\\" + USER)
        # The default destination lies in this user's profile.
        self.assertEqual(self.dest_win, profile + "\\AppData\\Local\\Programs\\brevaro")
        if self.user.echo:
            # The client's echo reaches 127.0.0.1 through a ping socket, and
            # a successful echo is followed by the advert refresh, which goes
            # to this service as the user's proxy.
            service = Service(0, "version = 1.0\n")
            self.addCleanup(service.stop)
            self.reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1", "/f")
            self.reg("add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d",
                     f"127.0.0.1:{service.port}", "/f")
        # Without the ping range (a read-only /proc/sys) the echo is not
        # checked: the client then makes no refresh, which is its rule.
        source = self.installer_in(profile + "\\Downloads\\brevaro-setup")
        self.install(source)
        if self.user.echo:
            self.assertTrue(wait_until(lambda: any("/brevaro/quillbeam.asp" in r["path"] for r in service.requests()),
                                       30), "no advert refresh: the echo did not come back")
        self.uninstall()
        self.assertFalse(self.key_exists(APPS_KEY))

    def test_destination_under_program_files_is_refused(self):
        # The folder dialog opens at the installer's own folder: the
        # installer lies in C:\Program Files itself (right below the drive,
        # where Wine's dialog selects the start folder), so OK there chooses
        # C:\Program Files\brevaro, which this user cannot write.
        program_files = self.installer_in("C:\\Program Files", owner_is_user=False)
        self.wine.start(program_files / "brevaro.exe")
        self.start_installer_at_destination()
        self.press(INSTALLER, "Browse")
        self.assertTrue(self.wine.wait_window("Browse for Folder"))
        selected = wait_until(lambda: self.has("Browse for Folder", "Program Files"))
        self.press("Browse for Folder", "OK" if selected else "Cancel")
        self.assertTrue(selected, "the browser did not open at the installer's folder")
        self.assertTrue(self.wine.wait_gone("Browse for Folder"))

        self.assertTrue(self.wine.wait_window("Information"), "no refusal")
        refusal = ("You cannot write to the folder C:\\Program Files.\r"
                   "Choose a folder you can write to, such as your own programs folder.")
        self.assertTrue(wait_until(lambda: self.has("Information", refusal)), "not the refusal message")
        self.press("Information", "OK")
        self.assertTrue(self.wine.wait_gone("Information"))
        # The wizard stays on the destination page, and nothing was made.
        for control in ("Browse", "&Next >", "< &Back"):
            self.assertTrue(self.has(INSTALLER, control), control)
        self.assertFalse(self.has(INSTALLER, "&Finish"))
        self.assertFalse((program_files / "brevaro").exists())
        self.assertEqual(sorted(p.name for p in program_files.iterdir() if p.name.startswith("~")), [],
                         "the write probe was left behind")
        # Next installs into the default destination, the user's own folder.
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Finish"), 30), "the last page did not come")
        self.check_installed_files(program_files)
        self.assertEqual(self.reg_value(APPS_KEY, "InstallLocation"), ("REG_SZ", self.dest_win))
        self.wine.driver("close", INSTALLER)
        self.assertTrue(self.wine.wait_gone(INSTALLER))

    def start_installer_at_destination(self):
        self.assertTrue(self.wine.wait_window(INSTALLER, 30000))
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "&Next >")))
        self.press(INSTALLER, "&Next >")
        self.assertTrue(wait_until(lambda: self.has(INSTALLER, "Browse")))


if __name__ == "__main__":
    unittest.main()
