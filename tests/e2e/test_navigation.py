"""The real brevaro.exe under Wine against the reference service: the first
page and the message strip, the section labels pressed with the real mouse,
the web-site link through the shell, sign-out, and the close request."""
import subprocess
import time
import unittest

from harness import LinkRecorder, ProgramFolder, Service, Wine, require_wine, wait_until

CLIENT = "brevaro"
PORT = 18480  # the service address built into the client
BASE = f"http://127.0.0.1:{PORT}/brevaro/"
SETTINGS = "[Default]\r\nTop=100\r\nLeft=60\r\nNextAd=0\r\nUN=555000111222333444\r\n"

# Hot-spot labels: x 5, 68 x 23, at these tops.
LABELS = [("accounts", 125), ("setup", 154), ("mydetails", 185), ("security", 215), ("help", 244),
          ("contactus", 276), ("sendtoafriend", 335)]
WEBSITE_TOP = 305
SIGNOUT_TOP = 395


def redirect_keys(service):
    out = []
    for r in service.requests():
        path = r.get("path", "")
        if path.startswith("/brevaro/url.asp?url="):
            out.append(path.split("=", 1)[1])
    return out


def read_settings(folder):
    text = (folder.path / "Data" / "Brevaro.ini").read_text("latin-1")
    values = {}
    for line in text.splitlines():
        if "=" in line:
            k, v = line.split("=", 1)
            values[k] = v
    return values


class ClientAgainstTheService(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.service = Service(port=PORT)
        self.addCleanup(self.service.stop)
        self.wine = Wine()
        self.addCleanup(self.wine.stop_all)
        self.folder = ProgramFolder(self.wine, "navigation")
        self.folder.write_settings(SETTINGS)

    def start_client(self):
        self.wine.start(self.folder.add_exe())
        self.assertTrue(self.wine.wait_window(CLIENT, 30000))
        self.origin = tuple(map(int, self.wine.driver("rect", CLIENT).stdout.split()[:2]))

    def press_label(self, top):
        """A real left press and release at the label's middle, on the screen."""
        x, y = self.origin[0] + 5 + 34, self.origin[1] + top + 11
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], check=True)

    def wait_first_page(self):
        self.assertTrue(wait_until(lambda: "scrollingmessage" in redirect_keys(self.service), 30),
                        redirect_keys(self.service))

    def test_first_page_then_the_message_strip(self):
        self.start_client()
        self.wait_first_page()
        keys = redirect_keys(self.service)
        self.assertEqual(keys[:2], ["accounts", "scrollingmessage"])

    def test_each_label_opens_its_section(self):
        self.start_client()
        self.wait_first_page()
        for key, top in LABELS:
            before = len(redirect_keys(self.service))
            self.press_label(top)
            self.assertTrue(wait_until(lambda: key in redirect_keys(self.service)[before:], 15),
                            (key, redirect_keys(self.service)[before:]))

    def test_web_site_opens_in_the_users_browser(self):
        recorder = LinkRecorder(self.wine)
        self.start_client()
        self.wait_first_page()
        self.press_label(WEBSITE_TOP)
        self.assertTrue(wait_until(lambda: recorder.links(), 15))
        self.assertEqual(recorder.links(), [BASE + "url.asp?url=website"])
        self.assertNotIn("website", redirect_keys(self.service))  # not in the client's own browser

    def test_sign_out_requests_the_page_and_closes(self):
        self.start_client()
        self.wait_first_page()
        self.press_label(SIGNOUT_TOP)
        pressed = time.monotonic()
        self.assertTrue(wait_until(lambda: "signout" in redirect_keys(self.service), 10))
        self.assertTrue(self.wine.wait_gone(CLIENT, 9000))
        self.assertLess(time.monotonic() - pressed, 7.0 + 1.0)  # the driver's own start-up is the slack
        values = read_settings(self.folder)
        self.assertEqual((values["Top"], values["Left"]), (str(self.origin[1]), str(self.origin[0])))
        self.assertEqual(values["UN"], "555000111222333444")

    def test_close_request_closes_within_a_second(self):
        self.start_client()
        request = self.folder.path / "Close.dat"
        request.write_bytes(b"Close Now.\r\n")
        dropped = time.monotonic()
        self.assertTrue(wait_until(lambda: not request.exists(), 5, step=0.02))
        seen = time.monotonic() - dropped
        self.assertTrue(self.wine.wait_gone(CLIENT, 5000))
        self.assertLess(seen, 1.0)
        self.assertEqual((self.folder.path / "BVClosed.dat").read_bytes(), b"BVClosed.\r\n")
        self.assertIn("Top", read_settings(self.folder))

    def test_stale_close_request_at_start(self):
        (self.folder.path / "Close.dat").write_bytes(b"Close Now.\r\n")
        self.wine.start(self.folder.add_exe())
        # It may be gone before anyone sees it; either way it must end soon.
        self.wine.wait_window(CLIENT, 5000)
        self.assertTrue(self.wine.wait_gone(CLIENT, 10000))
        self.assertFalse((self.folder.path / "Close.dat").exists())
        self.assertEqual((self.folder.path / "BVClosed.dat").read_bytes(), b"BVClosed.\r\n")
        values = read_settings(self.folder)
        self.assertEqual((values["Top"], values["Left"]), ("100", "60"))


if __name__ == "__main__":
    unittest.main()
