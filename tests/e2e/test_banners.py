"""Advert banners of the real brevaro.exe under Wine against the reference
service: the refresh five seconds after start (list, two downloads, two
download logs, the files on disk), the GIF banner animating in the banner
area, a real click that logs and then opens the banner's link, and the offer
of a newer version.

The client's built-in service address is fixed at build time; the test's own
service (on a port of its own) stands in for it as the system's HTTP proxy,
which the client copies into its HTTP clients. Links the client opens reach
the recorder program."""
import pathlib
import subprocess
import tempfile
import time
import unittest
from urllib.parse import parse_qs, urlsplit

from harness import BIN, LinkRecorder, ProgramFolder, Service, Wine, require_wine, screenshot, wait_until

CLIENT = "brevaro"
SOURCE = pathlib.Path(__file__).resolve().parents[2]
SERVICE_BANNERS = SOURCE / "service" / "data" / "banners"
UN = "555000111222333444"
BANNER = (95, 54, 468, 60)  # left, top, width, height in the window
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


class ServiceWithConfig(Service):
    """The reference service with a configuration file of the test's."""

    def __init__(self, config_text):
        super().__init__(0, config_text)

    def paths(self, script):
        """The query parameters of every request for /brevaro/<script>, in order."""
        out = []
        for r in self.requests():
            parts = urlsplit(r["path"])
            if parts.path == "/brevaro/" + script:
                out.append({k: v[0] for k, v in parse_qs(parts.query).items()})
        return out

    def banner_gets(self):
        return [r["path"] for r in self.requests() if r["path"].startswith("/brevaro/banners/")]


def crop(raw, screen_width, left, top, width, height):
    rows = []
    for y in range(top, top + height):
        start = (y * screen_width + left) * 3
        rows.append(raw[start:start + width * 3])
    return b"".join(rows)


def screen_rgb(path):
    """The whole display as raw RGB bytes and its width."""
    screenshot(path)
    size = subprocess.run(["identify", "-format", "%w %h", str(path)], check=True, capture_output=True,
                          text=True).stdout.split()
    raw = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    return raw, int(size[0])


def gif_frames(path):
    """The GIF's frames as shown (composed), each as raw RGB bytes."""
    raw = subprocess.run(["convert", str(path), "-coalesce", "-depth", "8", "rgb:-"], check=True,
                         capture_output=True).stdout
    n = BANNER[2] * BANNER[3] * 3
    return [raw[i:i + n] for i in range(0, len(raw), n)]


def differing_pixels(a, b):
    return sum(1 for i in range(0, min(len(a), len(b)), 3) if a[i:i + 3] != b[i:i + 3])


class Banners(unittest.TestCase):
    CONFIG = "version = 1.0\n"

    def setUp(self):
        require_wine(self)
        if not (BIN / "recorder.exe").exists():
            self.skipTest("recorder.exe not built")
        self.wine = Wine()
        self.service = ServiceWithConfig(self.CONFIG)
        self.addCleanup(self.service.stop)
        self.recorder = LinkRecorder(self.wine)
        self._proxy(True)
        self.addCleanup(self._proxy, False)
        self.folder = ProgramFolder(self.wine, "banners-" + self._testMethodName)
        self.folder.write_settings(f"[Default]\r\nTop=100\r\nLeft=100\r\nNextAd=0\r\nUN={UN}\r\n")
        self.banners = self.folder.path / "Data" / "Banners"

    def tearDown(self):
        self.wine.stop_all()
        self.wine.wait_gone(CLIENT, 10000)

    def _reg(self, *args):
        subprocess.run(["wine", "reg", *args, "/f"], env=self.wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    def _proxy(self, on):
        """The test's service as the system's HTTP proxy, removed afterwards:
        the prefix serves the other tests too."""
        if on:
            self._reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1")
            self._reg("add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d",
                      f"127.0.0.1:{self.service.port}")
        else:
            self._reg("delete", INTERNET_SETTINGS, "/v", "ProxyEnable")
            self._reg("delete", INTERNET_SETTINGS, "/v", "ProxyServer")

    def start_client(self):
        self.proc = self.wine.start(self.folder.add_exe())
        self.assertTrue(self.wine.wait_window(CLIENT, 30000))

    def opened_links(self):
        return self.recorder.links()

    def banner_on_screen(self):
        left, top = map(int, self.wine.driver("rect", CLIENT).stdout.split()[:2])
        return left + BANNER[0], top + BANNER[1]


class RefreshAndBanner(Banners):
    def test_refresh_downloads_two_banners_logs_them_and_leaves_the_staging_folder_empty(self):
        self.start_client()
        # timTMDS fires five seconds after start; the echo and two downloads follow.
        self.assertTrue(wait_until(lambda: len(self.service.paths("quillbeam-logs.asp")) >= 2, 30),
                        self.service.requests())
        lists = self.service.paths("quillbeam.asp")
        self.assertEqual(len(lists), 1)
        self.assertEqual(lists[0]["AppID"], UN)
        self.assertEqual(self.service.banner_gets(),
                         ["/brevaro/banners/brevaro-accounts.gif", "/brevaro/banners/brevaro-secure.gif"])
        logs = self.service.paths("quillbeam-logs.asp")
        self.assertEqual([(l["AppID"], l["BannerID"], l["option"]) for l in logs], [(UN, "1", "d"), (UN, "2", "d")])
        base = f"http://127.0.0.1:{self.service.port}/brevaro/"
        for name, ident, ad in (("brevaro-accounts", "1", "accounts"), ("brevaro-secure", "2", "secure")):
            self.assertTrue(wait_until(lambda: (self.banners / f"{name}.dat").exists(), 10), name)
            self.assertEqual((self.banners / f"{name}.gif").read_bytes(),
                             (SERVICE_BANNERS / f"{name}.gif").read_bytes())
            self.assertEqual((self.banners / f"{name}.dat").read_bytes(),
                             f"2099\r\n12\r\n31\r\n{ident}\r\n{base}ads/{ad}.htm\r\n".encode())
        self.assertEqual(sorted(p.name for p in self.banners.iterdir()),
                         ["brevaro-accounts.dat", "brevaro-accounts.gif", "brevaro-secure.dat", "brevaro-secure.gif"])
        self.assertEqual(list((self.folder.path / "Data" / "Download").iterdir()), [])
        self.assertIsNone(self.proc.poll())

    def test_the_gif_banner_animates_and_a_click_logs_then_opens_its_link(self):
        # A banner fetched by an earlier run: the first rotation step shows it.
        self.banners.mkdir(parents=True, exist_ok=True)
        gif = SERVICE_BANNERS / "brevaro-accounts.gif"
        (self.banners / "brevaro-accounts.gif").write_bytes(gif.read_bytes())
        link = f"http://127.0.0.1:{self.service.port}/brevaro/ads/accounts.htm"
        (self.banners / "brevaro-accounts.dat").write_bytes(f"2099\r\n12\r\n31\r\n41\r\n{link}\r\n".encode())
        self.start_client()
        time.sleep(2.5)  # the first step comes one second after activation

        frames = gif_frames(gif)
        self.assertGreater(len(frames), 1)
        shots = []
        with tempfile.TemporaryDirectory() as tmp:
            for i in range(2):
                raw, width = screen_rgb(pathlib.Path(tmp) / f"shot{i}.png")
                x, y = self.banner_on_screen()
                shots.append(crop(raw, width, x, y, BANNER[2], BANNER[3]))
                time.sleep(1.6)  # longer than any one frame's delay
        self.assertNotEqual(shots[0], shots[1], "the banner area does not change")
        total = BANNER[2] * BANNER[3]
        for shot in shots:
            best = min(differing_pixels(shot, f) for f in frames)
            self.assertLess(best, total // 100, "the banner area shows none of the GIF's frames")

        # A real click inside the banner: first the click log, then the link.
        x, y = self.banner_on_screen()
        subprocess.run(["xdotool", "mousemove", str(x + 200), str(y + 30), "click", "1"], check=True)
        self.assertTrue(wait_until(lambda: self.opened_links() == [link], 20), self.opened_links())
        clicks = self.service.paths("quillbeam-logs.asp")
        clicks = [c for c in clicks if c.get("option") == "c"]
        self.assertEqual([(c["AppID"], c["BannerID"]) for c in clicks], [(UN, "41")])
        # A click on the banner's border line does nothing.
        subprocess.run(["xdotool", "mousemove", str(x), str(y + 30), "click", "1"], check=True)
        time.sleep(2)
        self.assertEqual(len([c for c in self.service.paths("quillbeam-logs.asp") if c.get("option") == "c"]), 1)
        self.assertEqual(self.opened_links(), [link])


class NewerVersion(Banners):
    CONFIG = "version = 1.1\nno-banners = yes\n"

    def test_a_newer_version_is_offered_and_yes_opens_the_download_link(self):
        self.start_client()
        self.assertTrue(self.wine.wait_window("Information", 30000), self.service.requests())
        self.wine.driver("press", "Information", "&Yes")
        want = "http://127.0.0.1:18480/brevaro/url.asp?url=downloadnewversion"
        self.assertTrue(wait_until(lambda: self.opened_links() == [want], 20), self.opened_links())
        self.assertTrue(self.wine.wait_gone("Information", 10000))
        self.assertIsNone(self.proc.poll())


if __name__ == "__main__":
    unittest.main()
