"""The real Tray.exe under Wine: one copy per log-on, hidden from the
taskbar, its styled menu opened through the icon's callback, the client
started by a double-click, the contact window, and the close request."""
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from harness import BIN, ProgramFolder, Wine, require_wine, screenshot, wait_until

MAIN = "Task Tray Program"
APPLICATION = "brevaro menu"
CONTACTS = "Contact Information..."
CLIENT = "brevaro"
ICON_WINDOW = "TBrevaroTrayIconWindow"
WM_LBUTTONDBLCLK, WM_RBUTTONDOWN = 0x203, 0x204
WS_EX_TOPMOST, WS_EX_TOOLWINDOW, WS_EX_APPWINDOW = 0x8, 0x80, 0x40000
MENU_AT = (300, 300)  # where the cursor is when the menu opens (its top-left corner)
SHOTS = Path(os.environ.get("BREVARO_E2E_OUT", tempfile.gettempdir())) / "tray-e2e"


def pixel(png, x, y):
    out = subprocess.run(["convert", str(png), "-format", f"%[fx:int(255*p{{{x},{y}}}.r)] "
                          f"%[fx:int(255*p{{{x},{y}}}.g)] %[fx:int(255*p{{{x},{y}}}.b)]", "info:"],
                         check=True, capture_output=True, text=True).stdout.split()
    return tuple(int(v) for v in out)


class Tray(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        if not (BIN / "Tray.exe").exists():
            self.skipTest("e2e needs Tray.exe in BREVARO_BIN")
        self.wine = Wine()
        self.folder = ProgramFolder(self.wine, "tray-" + self._testMethodName)
        self.exe = self.folder.path / "Tray.exe"
        shutil.copyfile(BIN / "Tray.exe", self.exe)
        SHOTS.mkdir(parents=True, exist_ok=True)

    def tearDown(self):
        self.wine.stop_all()
        for caption in (MAIN, CONTACTS, CLIENT):
            self.wine.wait_gone(caption, 10000)

    def start(self):
        proc = self.wine.start(self.exe)
        self.assertTrue(self.wine.wait_window(MAIN, 30000))
        return proc

    def styles(self, caption):
        style, ex, *owner = self.wine.driver("styles", caption).stdout.split(maxsplit=2)
        return int(style, 16), int(ex, 16), (owner[0].strip() if owner else "")

    def notify(self, mouse_message):
        self.wine.driver("notify", ICON_WINDOW, mouse_message, *MENU_AT)

    def open_menu(self):
        self.notify(WM_RBUTTONDOWN)
        self.assertTrue(wait_until(lambda: self.wine.driver("menus").stdout.strip() == "1", 10))
        time.sleep(0.5)  # drawn

    def choose(self, row_y):
        """Clicks the open menu's entry whose middle is row_y pixels below its top."""
        subprocess.run(["xdotool", "mousemove", str(MENU_AT[0] + 80), str(MENU_AT[1] + row_y), "click", "1"], check=True)

    def test_started_twice_one_copy_stays_hidden_from_the_taskbar(self):
        first = self.start()
        second = self.wine.start(self.exe)
        self.assertEqual(second.wait(timeout=30), 0)
        self.assertIsNone(first.poll())
        captions = [c for _, _, c in self.wine.windows()]
        self.assertEqual(captions.count(MAIN), 1)
        self.assertEqual(self.wine.driver("rect", MAIN).stdout.split(), ["-1000", "-1000", "-896", "-938"])
        # The forms belong to the application window, which is a tool window:
        # no taskbar button anywhere.
        _, main_ex, owner = self.styles(MAIN)
        self.assertEqual(owner, APPLICATION)
        self.assertFalse(main_ex & WS_EX_APPWINDOW)
        self.assertTrue(main_ex & WS_EX_TOPMOST)
        _, app_ex, _ = self.styles(APPLICATION)
        self.assertEqual(app_ex & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), WS_EX_TOOLWINDOW | WS_EX_TOPMOST)

    def test_right_button_opens_the_styled_menu(self):
        self.start()
        entries = self.wine.driver("menu-probe", ICON_WINDOW, WM_RBUTTONDOWN, *MENU_AT, 10000).stdout.split("\n")
        entries = [e.strip() for e in entries if e.strip()]
        self.assertEqual(entries, ["ownerdraw command default", "ownerdraw separator grayed", "ownerdraw command",
                                   "ownerdraw command", "ownerdraw command", "ownerdraw separator grayed",
                                   "ownerdraw command"])
        time.sleep(0.5)
        shot = SHOTS / "menu.png"
        screenshot(shot)
        # The title strip runs down the left edge, dark blue; the entries lie on the light tile.
        r, g, b = pixel(shot, MENU_AT[0] + 12, MENU_AT[1] + 10)
        self.assertTrue(b > 90 and r < 80 and b > r + 40, (r, g, b))
        r, g, b = pixel(shot, MENU_AT[0] + 150, MENU_AT[1] + 40)
        self.assertTrue(min(r, g, b) > 200, (r, g, b))

    def test_double_click_starts_the_client_once(self):
        self.folder.write_settings()
        self.folder.add_exe()
        self.start()
        self.notify(WM_LBUTTONDBLCLK)
        try:
            self.assertTrue(self.wine.wait_window(CLIENT, 30000))
            time.sleep(3)  # the second start has had time to end on the client's mutex
            self.assertEqual([c for _, _, c in self.wine.windows()].count(CLIENT), 1)
        finally:
            # The client is the shell's child, not ours: it is closed by its window.
            self.wine.driver("close", CLIENT, check=False)
            self.wine.wait_gone(CLIENT, 20000)

    def test_contact_information_opens_centred_and_closes(self):
        proc = self.start()
        self.open_menu()
        self.choose(3 + 22 + 9 + 11)  # below "Activate" and the separator
        self.assertTrue(self.wine.wait_window(CONTACTS, 15000))
        left, top, right, bottom = map(int, self.wine.driver("rect", CONTACTS).stdout.split())
        self.assertLessEqual(abs((left + right) // 2 - 640), 1)
        self.assertLessEqual(abs((top + bottom) // 2 - 512), 1)
        style, _, owner = self.styles(CONTACTS)
        self.assertFalse(style & 0x00080000)  # no system menu, no close box
        self.assertEqual(owner, APPLICATION)
        time.sleep(0.5)
        screenshot(SHOTS / "contacts.png")
        # The close button of the picture closes it; the program runs on.
        self.wine.driver("click", CONTACTS, 166 + 36, 257 + 12)
        self.assertTrue(self.wine.wait_gone(CONTACTS, 10000))
        self.assertIsNone(proc.poll())

    def test_close_request_ends_the_program_within_a_second(self):
        proc = self.start()
        request = self.folder.path / "TClose.dat"
        answer = self.folder.path / "TClosed.dat"
        request.write_bytes(b"Close Now.\r\n")
        written = time.monotonic()
        self.assertTrue(wait_until(answer.exists, 5, 0.01))
        self.assertLess(time.monotonic() - written, 1.0)
        # Removing the icon waits about 2 s for Wine's own tray window, which
        # hides itself with its last icon and, without a window manager on the
        # virtual display, waits in vain for the hiding to be confirmed.
        self.assertTrue(wait_until(lambda: proc.poll() is not None, 6, 0.02))
        self.assertEqual(proc.returncode, 0)
        self.assertFalse(request.exists())
        self.assertEqual(answer.read_bytes(), b"TrayClosed.\r\n")

    def test_close_request_while_the_menu_is_open_ends_the_program(self):
        proc = self.start()
        self.open_menu()
        (self.folder.path / "TClose.dat").write_bytes(b"Close Now.\r\n")
        self.assertTrue(wait_until(lambda: proc.poll() is not None, 10, 0.05))
        self.assertEqual(proc.returncode, 0)
        self.assertEqual((self.folder.path / "TClosed.dat").read_bytes(), b"TrayClosed.\r\n")
        self.assertEqual(self.wine.driver("menus").stdout.strip(), "0")

    def test_a_stale_request_ends_the_next_start_at_once(self):
        (self.folder.path / "TClose.dat").write_bytes(b"Close Now.\r\n")
        proc = self.wine.start(self.exe)
        self.assertEqual(proc.wait(timeout=20), 0)
        self.assertFalse((self.folder.path / "TClose.dat").exists())
        self.assertEqual((self.folder.path / "TClosed.dat").read_bytes(), b"TrayClosed.\r\n")

    def test_a_request_named_folder_is_no_request_and_exit_still_ends_it(self):
        (self.folder.path / "TClose.dat").mkdir()
        proc = self.start()
        time.sleep(1.5)
        self.assertIsNone(proc.poll())
        self.open_menu()
        self.choose(3 + 22 + 9 + 3 * 22 + 9 + 11)  # "Exit", the last entry
        self.assertTrue(wait_until(lambda: proc.poll() is not None, 10, 0.05))
        self.assertEqual(proc.returncode, 0)
        self.assertFalse((self.folder.path / "TClosed.dat").exists())


if __name__ == "__main__":
    unittest.main()
