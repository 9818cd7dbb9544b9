"""The main window of the real brevaro.exe under Wine: position, data
folders, error page, shape, right clicks and what closing saves."""
import pathlib
import struct
import time
import unittest

from harness import ProgramFolder, Wine, require_wine, wait_until

CLIENT = "brevaro"


def mask_black_pixels(path):
    """The set of (x, y) that are black in a 1-bit BMP."""
    data = path.read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    assert bits == 1
    palette = [data[54 + 4 * i: 54 + 4 * i + 3] for i in range(2)]
    black_index = 0 if palette[0] == b"\0\0\0" else 1
    stride = ((width + 31) // 32) * 4
    out = set()
    for row in range(abs(height)):
        y = abs(height) - 1 - row if height > 0 else row
        line = data[offset + row * stride: offset + (row + 1) * stride]
        for x in range(width):
            if ((line[x >> 3] >> (7 - (x & 7))) & 1) == black_index:
                out.add((x, y))
    return out


class MainWindow(unittest.TestCase):
    def setUp(self):
        require_wine(self)
        self.wine = Wine()
        self.folder = ProgramFolder(self.wine, "main-window")
        self.folder.write_settings("[Default]\r\nTop=120\r\nLeft=80\r\nNextAd=0\r\nUN=555000111222333444\r\n[Other]\r\nKeep=yes\r\n")
        self.proc = self.wine.start(self.folder.add_exe())
        self.assertTrue(self.wine.wait_window(CLIENT, 30000))

    def tearDown(self):
        self.wine.stop_all()
        self.wine.wait_gone(CLIENT, 10000)

    def test_start_up_position_folders_and_error_page(self):
        rect = self.wine.driver("rect", CLIENT).stdout.split()
        self.assertEqual(rect[:2], ["80", "120"])
        data = self.folder.path / "Data"
        for sub in ("Download", "Banners"):
            self.assertTrue((data / sub).is_dir(), sub)
        page = data / "error.htm"
        self.assertTrue(wait_until(page.exists))
        self.assertEqual(page.read_bytes(),
                         b'<html><head><title>Error</title>\r\n</head>\r\n'
                         b'<body bgcolor="#BDD6EF" text="#000000" scroll="no" marginwidth="0" marginheight="0">\r\n'
                         b'</body></html>\r\n\r\n')

    def test_window_is_cut_to_the_mask(self):
        covered = set()
        for line in self.wine.driver("region", CLIENT).stdout.splitlines():
            self.assertTrue(line.startswith("rect "), line)
            left, top, right, bottom = map(int, line.split()[1:])
            covered.update((x, y) for y in range(top, bottom) for x in range(left, right))
        # The mask travels in the executable; the source copy is the same file.
        mask = pathlib.Path(__file__).resolve().parents[2] / "res" / "art" / "mask.bmp"
        self.assertEqual(covered, mask_black_pixels(mask))

    def test_right_clicks_do_nothing_anywhere(self):
        # On the browser area and the hot spots: no context menu.
        for x, y in ((300, 250), (200, 465), (30, 130)):
            self.wine.driver("click", CLIENT, x, y, "right")
            time.sleep(0.3)
            self.assertEqual(self.wine.driver("menus").stdout.strip(), "0")

        def drag(button_args, dx, dy):
            before = list(map(int, self.wine.driver("rect", CLIENT).stdout.split()))
            self.wine.driver("mouse", CLIENT, 300, 20, "down", *button_args)
            time.sleep(0.3)
            self.wine.driver("mouse", CLIENT, 300 + dx, 20 + dy, "move", *button_args)
            time.sleep(0.3)
            self.wine.driver("mouse", CLIENT, 300 + dx, 20 + dy, "up", *button_args)
            time.sleep(0.3)
            after = list(map(int, self.wine.driver("rect", CLIENT).stdout.split()))
            return after[0] - before[0], after[1] - before[1]

        # The picture drags the window with the left button...
        self.assertEqual(drag([], 50, 40), (50, 40))
        # ...but a right press never reaches it.
        self.assertEqual(drag(["right"], 50, 40), (0, 0))
        self.assertIsNone(self.proc.poll())

    def test_closing_saves_position_and_banner_index_but_not_the_identifier(self):
        self.wine.driver("close", CLIENT)
        self.assertEqual(self.proc.wait(timeout=60), 0)
        text = (self.folder.path / "Data" / "Brevaro.ini").read_bytes().decode("latin-1")
        self.assertIn("Top=120\r\n", text)
        self.assertIn("Left=80\r\n", text)
        self.assertIn("NextAd=0\r\n", text)
        self.assertIn("UN=555000111222333444\r\n", text)
        self.assertIn("[Other]\r\nKeep=yes\r\n", text)


if __name__ == "__main__":
    unittest.main()
