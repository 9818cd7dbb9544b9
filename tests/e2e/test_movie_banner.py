"""Movie banners of the real brevaro.exe under Wine: the default banner
Data\\bv.swf of a fresh installation plays (the banner area shows the movie's
frames one after another), a movie banner of the reference service's advert
list plays, and a real click on it is logged and opens its link.

The frames the banner area should show come from the host build's movie tool
(brevaro-swf frames), which draws them with the same player."""
import pathlib
import subprocess
import tempfile
import time
import unittest
import urllib.request
from collections import Counter
from urllib.parse import parse_qs

from harness import HOST_BIN, require_wine, wait_until
from test_banners import BANNER, SOURCE, UN, Banners, crop, differing_pixels, screen_rgb

DEFAULT_MOVIE = SOURCE / "res" / "art" / "bv.swf"
MOVIE_TOOL = HOST_BIN.parent / "tools" / "swf" / "brevaro-swf"


def movie_frames(path, tmp):
    """The movie's frames at 468 x 60 as raw RGB bytes (none without the tool)."""
    if not MOVIE_TOOL.exists():
        return []
    out = pathlib.Path(tmp) / "frames"
    subprocess.run([str(MOVIE_TOOL), "frames", str(path), str(out)], check=True, capture_output=True)
    frames = []
    for bmp in sorted(out.glob("frame-*.bmp")):
        frames.append(subprocess.run(["convert", str(bmp), "-depth", "8", "rgb:-"], check=True,
                                     capture_output=True).stdout)
    return frames


def flat_share(shot):
    """The share of the banner area taken by its most common colour."""
    colours = Counter(shot[i:i + 3] for i in range(0, len(shot), 3))
    return colours.most_common(1)[0][1] / (len(shot) // 3)


class MovieBanners(Banners):
    def banner_shots(self, count, every, tmp):
        shots = []
        for i in range(count):
            raw, width = screen_rgb(pathlib.Path(tmp) / f"shot{i}.png")
            x, y = self.banner_on_screen()
            shots.append(crop(raw, width, x, y, BANNER[2], BANNER[3]))
            time.sleep(every)
        return shots

    def assert_plays(self, movie, shots, tmp):
        total = BANNER[2] * BANNER[3]
        distinct = {s for s in shots}
        self.assertGreaterEqual(len(distinct), 2, "the banner area does not change")
        for shot in shots:
            self.assertLess(flat_share(shot), 0.98, "the banner area is a flat box")
        frames = movie_frames(movie, tmp)
        if not frames:
            return
        self.assertGreater(len(frames), 1)
        matched = set()
        for shot in shots:
            diffs = [differing_pixels(shot, f) for f in frames]
            best = min(diffs)
            # Screenshots are taken between frames: a shot shows one frame whole.
            self.assertLess(best, total // 100, "the banner area shows none of the movie's frames")
            matched.add(diffs.index(best))
        self.assertGreaterEqual(len(matched), 2, "the banner area shows one frame only")


class DefaultBanner(MovieBanners):
    CONFIG = "version = 1.0\nno-banners = yes\n"

    def test_a_fresh_installation_shows_the_default_movie_playing(self):
        data = self.folder.path / "Data"
        data.mkdir(parents=True, exist_ok=True)
        (data / "bv.swf").write_bytes(DEFAULT_MOVIE.read_bytes())
        self.start_client()
        time.sleep(2.5)  # the first rotation step comes one second after activation
        with tempfile.TemporaryDirectory() as tmp:
            # 4 s a loop at 12 frames a second: eight shots over two seconds.
            shots = self.banner_shots(8, 0.25, tmp)
            self.assert_plays(DEFAULT_MOVIE, shots, tmp)
        self.assertIsNone(self.proc.poll())


class ListedMovieBanner(MovieBanners):
    def listed_movie(self):
        """The advert list's movie banner as the service lists it: (id, image URL, link)."""
        url = f"http://127.0.0.1:{self.service.port}/brevaro/quillbeam.asp?AppID={UN}"
        with urllib.request.urlopen(url, timeout=10) as r:
            doc = r.read().decode("latin-1")
        for line in doc.splitlines():
            entry = {k: v[0] for k, v in parse_qs(line.strip()).items()}
            if entry.get("image", "").endswith(".swf"):
                return entry["id"], entry["image"], entry["link"]
        self.fail("the service lists no movie banner: " + doc)

    def test_a_movie_banner_from_the_advert_list_plays_and_a_click_logs_then_opens_its_link(self):
        ident, image, link = self.listed_movie()
        with urllib.request.urlopen(image, timeout=10) as r:
            movie = r.read()
        self.assertEqual(movie[:3], b"FWS")
        # The banner as an earlier run fetched it: the first rotation step shows it.
        self.banners.mkdir(parents=True, exist_ok=True)
        name = image.rsplit("/", 1)[1]
        (self.banners / name).write_bytes(movie)
        (self.banners / (name[:-4] + ".dat")).write_bytes(f"2099\r\n12\r\n31\r\n{ident}\r\n{link}\r\n".encode())
        self.start_client()
        time.sleep(2.5)
        with tempfile.TemporaryDirectory() as tmp:
            (pathlib.Path(tmp) / name).write_bytes(movie)
            shots = self.banner_shots(6, 0.3, tmp)
            self.assert_plays(pathlib.Path(tmp) / name, shots, tmp)

        # A real click inside the banner: first the click log, then the link.
        x, y = self.banner_on_screen()
        subprocess.run(["xdotool", "mousemove", str(x + 200), str(y + 30), "click", "1"], check=True)
        self.assertTrue(wait_until(lambda: self.opened_links() == [link], 20), self.opened_links())
        clicks = [c for c in self.service.paths("quillbeam-logs.asp") if c.get("option") == "c"]
        self.assertEqual([(c["AppID"], c["BannerID"]) for c in clicks], [(UN, ident)])
        self.assertIsNone(self.proc.poll())


if __name__ == "__main__":
    unittest.main()
