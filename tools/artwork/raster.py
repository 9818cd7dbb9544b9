"""A small software rasteriser for the artwork generator.

Shapes are given as signed distance functions (negative inside) and are
painted with analytic anti-aliasing: a pixel's coverage is
clamp(0.5 - distance, 0, 1), measured at the pixel centre. Text comes from
ImageMagick's `convert` as an 8-bit coverage map rendered with the DejaVu
fonts. Everything is plain Python so the output depends only on this code,
the fonts and ImageMagick.
"""

import math
import subprocess

FONT_DIR = "/usr/share/fonts/truetype/dejavu/"
SANS = FONT_DIR + "DejaVuSans.ttf"
SANS_BOLD = FONT_DIR + "DejaVuSans-Bold.ttf"
COND = FONT_DIR + "DejaVuSansCondensed.ttf"
COND_BOLD = FONT_DIR + "DejaVuSansCondensed-Bold.ttf"


def hexrgb(s):
    s = s.lstrip("#")
    return (int(s[0:2], 16), int(s[2:4], 16), int(s[4:6], 16))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


# --- signed distance functions ------------------------------------------

def sd_rrect(x0, y0, x1, y1, r):
    """Rounded rectangle covering [x0, x1) x [y0, y1) in pixel units."""
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def d(px, py):
        qx = abs(px - cx) - hx
        qy = abs(py - cy) - hy
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return math.hypot(ox, oy) + min(max(qx, qy), 0.0) - r
    return d


def sd_circle(cx, cy, r):
    return lambda px, py: math.hypot(px - cx, py - cy) - r


def sd_ring(cx, cy, r, w):
    return lambda px, py: abs(math.hypot(px - cx, py - cy) - r) - w / 2.0


def sd_segment(ax, ay, bx, by, w):
    """A stroke of width w from a to b with round caps."""
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1e-9

    def d(px, py):
        t = clamp(((px - ax) * dx + (py - ay) * dy) / ll)
        return math.hypot(px - ax - dx * t, py - ay - dy * t) - w / 2.0
    return d


def sd_polyline(points, w):
    segs = [sd_segment(*points[i], *points[i + 1], w) for i in range(len(points) - 1)]
    return lambda px, py: min(s(px, py) for s in segs)


def sd_polygon(points):
    n = len(points)

    def d(px, py):
        best = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            wx, wy = px - ax, py - ay
            ll = ex * ex + ey * ey or 1e-9
            t = clamp((wx * ex + wy * ey) / ll)
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > py) != (by > py) and px < ax + (py - ay) * ex / (ey or 1e-9):
                inside = not inside
        return -best if inside else best
    return d


def sd_union(*fs):
    return lambda px, py: min(f(px, py) for f in fs)


def sd_subtract(a, b):
    return lambda px, py: max(a(px, py), -b(px, py))


def sd_intersect(a, b):
    return lambda px, py: max(a(px, py), b(px, py))


def coverage(sd):
    return lambda px, py: clamp(0.5 - sd(px, py))


# --- text ------------------------------------------------------------------

_text_cache = {}


def text_mask(text, font, size, kerning=None):
    """Renders text to (width, height, coverage rows 0..1) with ImageMagick."""
    key = (text, font, size, kerning)
    if key in _text_cache:
        return _text_cache[key]
    cmd = ["convert", "-background", "black", "-fill", "white", "-font", font,
           "-pointsize", str(size)]
    if kerning is not None:
        cmd += ["-kerning", str(kerning)]
    cmd += ["label:" + text.replace("\\", "\\\\").replace("%", "%%"),
            "-depth", "8", "pgm:-"]
    data = subprocess.run(cmd, check=True, capture_output=True).stdout
    # P5 header: magic, width, height, maxval, then one byte per pixel.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    w, h = int(fields[1]), int(fields[2])
    raw = data[pos:pos + w * h]
    rows = [[raw[y * w + x] / 255.0 for x in range(w)] for y in range(h)]
    _text_cache[key] = (w, h, rows)
    return _text_cache[key]


def ink_box(mask):
    """Bounding box (x0, y0, x1, y1) of the non-zero pixels of a text mask."""
    w, h, rows = mask
    xs = [x for y in range(h) for x in range(w) if rows[y][x] > 0.02]
    ys = [y for y in range(h) for x in range(w) if rows[y][x] > 0.02]
    if not xs:
        return (0, 0, 0, 0)
    return (min(xs), min(ys), max(xs) + 1, max(ys) + 1)


# --- canvas ----------------------------------------------------------------

class Canvas:
    """RGB picture with float channels 0..255, row 0 at the top."""

    def __init__(self, w, h, colour=(255, 255, 255)):
        self.w, self.h = w, h
        self.px = [[list(colour) for _ in range(w)] for _ in range(h)]
        self.clip = None  # optional predicate (x, y) -> bool

    def blend(self, x, y, colour, a):
        if a <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        if self.clip is not None and not self.clip(x, y):
            return
        p = self.px[y][x]
        if a >= 1.0:
            p[0], p[1], p[2] = colour[0], colour[1], colour[2]
        else:
            p[0] += (colour[0] - p[0]) * a
            p[1] += (colour[1] - p[1]) * a
            p[2] += (colour[2] - p[2]) * a

    def paint(self, sd, fill, box=None, alpha=1.0):
        """Paints the shape sd with fill (a colour or a function (x, y) -> colour)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.w, self.h)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        fn = fill if callable(fill) else None
        for y in range(y0, y1):
            py = y + 0.5
            for x in range(x0, x1):
                a = 0.5 - sd(x + 0.5, py)
                if a <= 0.0:
                    continue
                if a > 1.0:
                    a = 1.0
                self.blend(x, y, fn(x, y) if fn else fill, a * alpha)

    def rect(self, x0, y0, x1, y1, fill, alpha=1.0):
        fn = fill if callable(fill) else None
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.blend(x, y, fn(x, y) if fn else fill, alpha)

    def shadow(self, sd, colour, radius, strength, box, dx=0, dy=0):
        """A soft shadow outside shape sd (offset by dx, dy)."""
        x0, y0, x1, y1 = box
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                d = sd(x + 0.5 - dx, y + 0.5 - dy)
                if d < radius:
                    t = clamp(1.0 - d / radius) if d > 0 else 1.0
                    self.blend(x, y, colour, strength * t * t)

    def text(self, x, y, text, font, size, colour, alpha=1.0, kerning=None):
        w, h, rows = text_mask(text, font, size, kerning)
        fn = colour if callable(colour) else None
        for j in range(h):
            row = rows[j]
            for i in range(w):
                a = row[i]
                if a > 0.0:
                    self.blend(x + i, y + j, fn(x + i, y + j) if fn else colour, a * alpha)
        return w, h

    def text_centred(self, cx, cy, text, font, size, colour, alpha=1.0, by_ink=False):
        """Centres text on (cx, cy): horizontally by its ink, vertically by its
        line box (so that rows of labels share a baseline) or by its ink."""
        m = text_mask(text, font, size)
        ix0, iy0, ix1, iy1 = ink_box(m)
        x = int(round(cx - (ix0 + ix1) / 2.0))
        if by_ink:
            y = int(round(cy - (iy0 + iy1) / 2.0))
        else:
            y = int(round(cy - m[1] / 2.0))
        self.text(x, y, text, font, size, colour, alpha)
        return (x + ix0, y + iy0, x + ix1, y + iy1)

    def crop(self, x0, y0, x1, y1):
        c = Canvas(x1 - x0, y1 - y0)
        c.px = [[list(self.px[y][x]) for x in range(x0, x1)] for y in range(y0, y1)]
        return c

    def rgb_rows(self):
        """Rows of (r, g, b) integer tuples, rounded and clamped."""
        out = []
        for row in self.px:
            out.append([tuple(min(255, max(0, int(c + 0.5))) for c in p) for p in row])
        return out


def vgrad(y0, y1, c0, c1):
    """Vertical gradient from c0 at row y0 to c1 at row y1."""
    span = float(max(1, y1 - y0))
    return lambda x, y: mix(c0, c1, clamp((y - y0) / span))


def hgrad(x0, x1, c0, c1):
    span = float(max(1, x1 - x0))
    return lambda x, y: mix(c0, c1, clamp((x - x0) / span))
