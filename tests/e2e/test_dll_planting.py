"""Libraries planted beside the client under the names of the system
libraries it loads at run time (icmp.dll, wsock32.dll, atl.dll), with Wine
told to prefer such native files, are never loaded: the client runs its echo
check, its sockets and its browser control with the system's own."""
import shutil
import subprocess
import unittest

from harness import BIN, ProgramFolder, Service, Wine, require_wine, wait_until

CLIENT = "brevaro"
PORT = 18480  # the service address built into the client
SETTINGS = "[Default]\r\nTop=100\r\nLeft=60\r\nNextAd=0\r\nUN=555000111222333444\r\n"
PLANTED = ["icmp.dll", "wsock32.dll", "atl.dll"]


def redirect_keys(service):
    return [r["path"].split("=", 1)[1] for r in service.requests()
            if r.get("path", "").startswith("/brevaro/url.asp?url=")]


class PlantedLibraries(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        if not (BIN / "planted_marker.dll").exists():
            self.skipTest("planted_marker.dll not built")
        self.service = Service(port=PORT)
        self.addCleanup(self.service.stop)
        self.wine = Wine()
        # Native first for the planted names: a file of that name in the
        # search path wins over Wine's own library.
        self.wine.env["WINEDLLOVERRIDES"] += ";" + ",".join(n[:-4] for n in PLANTED) + "=n,b"
        self.addCleanup(self.wine.stop_all)
        self.folder = ProgramFolder(self.wine, "dll-planting")
        self.folder.write_settings(SETTINGS)
        for name in PLANTED:
            shutil.copyfile(BIN / "planted_marker.dll", self.folder.path / name)

    def markers(self):
        return sorted(p.name for p in self.folder.path.glob("*.loaded"))

    def load_by_bare_name(self, name):
        """A program in the folder loads `name` the way the client once did."""
        shutil.copyfile(BIN / "driver.exe", self.folder.path / "driver.exe")
        return subprocess.run(["wine", str(self.folder.path / "driver.exe"), "load-library", name],
                              cwd=str(self.folder.path), env=self.wine.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60).returncode

    def test_the_planted_libraries_would_be_loaded_by_bare_name(self):
        # The check below can fail: loaded the old way, each planted
        # library is the one that comes, and it leaves its mark.
        for name in PLANTED:
            self.assertEqual(self.load_by_bare_name(name), 0, name)
        self.assertEqual(self.markers(), sorted(n + ".loaded" for n in PLANTED))

    def test_the_client_loads_none_of_them(self):
        self.wine.start(self.folder.add_exe())
        self.assertTrue(self.wine.wait_window(CLIENT, 30000))
        # The echo check passed (icmp.dll, wsock32.dll) and the browser
        # control (atl.dll) asked for the first page and the message strip.
        self.assertTrue(wait_until(lambda: {"accounts", "scrollingmessage"} <= set(redirect_keys(self.service)), 40),
                        redirect_keys(self.service))
        self.wine.stop_all()
        self.wine.wait_gone(CLIENT, 10000)
        self.assertEqual(self.markers(), [])
