"""The one executable's three roles, decided by its file name and the
settings file, with the real brevaro.exe under Wine."""
import unittest

from harness import ProgramFolder, Wine, require_wine, wait_until

CLIENT = "brevaro"
INSTALLER = "brevaro program installation"
UNINSTALLER = "brevaro program un-installer"


class RunModes(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.wine = Wine()

    def tearDown(self):
        self.wine.stop_all()
        for caption in (CLIENT, INSTALLER, UNINSTALLER):
            self.wine.wait_gone(caption, 10000)

    def test_no_settings_file_starts_the_installer(self):
        folder = ProgramFolder(self.wine, "installer")
        self.wine.start(folder.add_exe())
        self.assertTrue(self.wine.wait_window(INSTALLER))
        self.assertNotIn(CLIENT, [c for _, _, c in self.wine.windows()])

    def test_uninstall_names_in_any_case_start_the_uninstaller(self):
        for name, settings in (("Uninstall.exe", False), ("UNINSTALL.EXE", True), ("uninstall.exe", True)):
            with self.subTest(name=name, settings=settings):
                folder = ProgramFolder(self.wine, "uninstaller-" + name.replace(".", "_"))
                if settings:
                    folder.write_settings()
                self.wine.start(folder.add_exe(name))
                self.assertTrue(self.wine.wait_window(UNINSTALLER), name)
                captions = [c for _, _, c in self.wine.windows()]
                self.assertNotIn(CLIENT, captions)
                self.assertNotIn(INSTALLER, captions)
                self.wine.stop_all()
                self.assertTrue(self.wine.wait_gone(UNINSTALLER))

    def test_names_with_more_than_uninstall_are_not_the_uninstaller(self):
        for name in ("Uninstall1.exe", "xUninstall.exe"):
            with self.subTest(name=name):
                folder = ProgramFolder(self.wine, "not-uninstaller-" + name.replace(".", "_"))
                self.wine.start(folder.add_exe(name))
                self.assertTrue(self.wine.wait_window(INSTALLER), name)
                self.assertNotIn(UNINSTALLER, [c for _, _, c in self.wine.windows()])
                self.wine.stop_all()
                self.assertTrue(self.wine.wait_gone(INSTALLER))

    def test_settings_file_starts_the_client_once(self):
        folder = ProgramFolder(self.wine, "client")
        folder.write_settings()
        exe = folder.add_exe()
        first = self.wine.start(exe)
        self.assertTrue(self.wine.wait_window(CLIENT))

        # A second copy ends by itself without a window; the first stays.
        second = self.wine.start(exe)
        self.assertEqual(second.wait(timeout=30), 0)
        self.assertEqual([c for _, _, c in self.wine.windows()].count(CLIENT), 1)
        self.assertIsNone(first.poll())

        # The installer takes no mutex: it starts while the client runs.
        other = ProgramFolder(self.wine, "installer-beside-client")
        self.wine.start(other.add_exe())
        self.assertTrue(self.wine.wait_window(INSTALLER))

        # Once the first client has ended, a new start shows the main window.
        first.kill()
        first.wait(timeout=20)
        self.assertTrue(self.wine.wait_gone(CLIENT))
        self.wine.start(exe)
        self.assertTrue(self.wine.wait_window(CLIENT))


if __name__ == "__main__":
    unittest.main()
