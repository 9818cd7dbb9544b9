#!/usr/bin/env python3
"""Checks the committed artwork in res/art against what the programs need.

    check_artwork.py ART_DIR

Reads the files with its own small parsers (not the generator's writers), so
a fault in a writer shows up here.
"""

import os
import struct
import sys
import unittest
import zlib

ART = None


def read(name):
    with open(os.path.join(ART, name), "rb") as f:
        return f.read()


class Bmp:
    """A palettised BMP with a BITMAPINFOHEADER: uncompressed, or 8-bit
    run-length encoded (BI_RLE8)."""

    def __init__(self, data):
        magic, size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
        (hsize, self.w, h, planes, self.bpp, comp, image_size, _, _, used,
         _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
        assert magic == b"BM", "not a BMP"
        assert size == len(data), "file size field %d, file %d" % (size, len(data))
        assert hsize == 40 and planes == 1, "unexpected info header"
        assert comp == 0 or (comp == 1 and self.bpp == 8), "compression %d" % comp
        assert h > 0, "top-down BMP"
        self.h = h
        ncol = used or (1 << self.bpp)
        assert ncol <= (1 << self.bpp)
        self.palette = [struct.unpack_from("<BBB", data, 54 + 4 * i)[::-1] for i in range(ncol)]
        assert offset == 54 + 4 * ncol, "pixel data not right after the palette"
        if comp == 1:
            assert image_size == len(data) - offset, "pixel data length"
            self.stride = self.w
            data = data[:offset] + self._unpack_rle8(data[offset:])
        else:
            self.stride = ((self.w * self.bpp + 31) // 32) * 4
            assert len(data) - offset == self.stride * h, "pixel data length"
            assert image_size in (0, self.stride * h)
        self.data, self.offset = data, offset

    def _unpack_rle8(self, rle):
        """Bottom-up rows of indices; every pixel must be written exactly once
        and the data must end with the end marker."""
        rows, row, at = [], [], 0
        while True:
            count, code = rle[at], rle[at + 1]
            at += 2
            if count:
                row += [code] * count
            elif code == 0:
                assert len(row) == self.w, "row of %d pixels" % len(row)
                rows.append(row)
                row = []
            elif code == 1:
                assert len(row) == self.w, "row of %d pixels" % len(row)
                rows.append(row)
                break
            else:
                assert code >= 3, "moves are not used"
                row += list(rle[at:at + code])
                at += code + (code & 1)
        assert at == len(rle), "data after the end marker"
        assert len(rows) == self.h, "%d rows" % len(rows)
        return bytes(b for r in rows for b in r)

    def index(self, x, y):
        row = self.offset + (self.h - 1 - y) * self.stride
        if self.bpp == 8:
            return self.data[row + x]
        if self.bpp == 4:
            b = self.data[row + x // 2]
            return b >> 4 if x % 2 == 0 else b & 15
        if self.bpp == 1:
            return (self.data[row + x // 8] >> (7 - x % 8)) & 1
        raise AssertionError("bpp %d" % self.bpp)

    def rgb(self, x, y):
        return self.palette[self.index(x, y)]


def lum(c):
    return 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2]


# The main window's components on the skin: x, y, w, h.
SECTION_ROWS = [125, 154, 185, 215, 244, 276, 305, 335, 366, 395]
COMPONENTS = [(5, y, 68, 23) for y in SECTION_ROWS] + [
    (95, 54, 468, 60), (90, 129, 478, 307), (131, 455, 397, 20)]


class SkinAndMask(unittest.TestCase):
    def setUp(self):
        self.skin = Bmp(read("skin.bmp"))
        self.mask = Bmp(read("mask.bmp"))

    def test_formats(self):
        self.assertEqual((self.skin.w, self.skin.h, self.skin.bpp), (582, 488, 8))
        self.assertEqual((self.mask.w, self.mask.h, self.mask.bpp), (582, 488, 1))
        self.assertEqual(self.mask.palette[:2], [(0, 0, 0), (255, 255, 255)])

    def test_components_lie_inside_the_outline(self):
        for (x, y, w, h) in COMPONENTS:
            for yy in range(y - 1, y + h + 1):
                for xx in range(max(0, x - 1), x + w + 1):
                    self.assertEqual(self.mask.index(xx, yy), 0, "(%d,%d) of %r is cut away" % (xx, yy, (x, y, w, h)))

    def test_outline_is_shaped(self):
        for corner in [(0, 0), (581, 0), (0, 487), (581, 487)]:
            self.assertEqual(self.mask.index(*corner), 1, "corner %r is not cut away" % (corner,))
        # The left column ends above the bottom: its lower left is cut away.
        self.assertEqual(self.mask.index(20, 470), 1)
        self.assertEqual(self.mask.index(20, 300), 0)

    def test_skin_is_white_outside_the_outline(self):
        for y in range(488):
            for x in range(582):
                if self.mask.index(x, y) == 1:
                    self.assertEqual(self.skin.rgb(x, y), (255, 255, 255), "(%d,%d)" % (x, y))

    def test_section_names_are_painted(self):
        # Each hot-spot row is a dark button with light lettering in its middle.
        for y in SECTION_ROWS:
            light = dark = 0
            for yy in range(y + 3, y + 20):
                for xx in range(9, 69):
                    v = lum(self.skin.rgb(xx, yy))
                    light += v > 200
                    dark += v < 120
            self.assertGreater(light, 25, "no lettering in row %d" % y)
            self.assertGreater(dark, 300, "no button under row %d" % y)


class Contacts(unittest.TestCase):
    # Client coordinates of the window less the picture's offset (3, 3).
    EXPECTED = {
        "line1": (26, 111, 259, 13), "line2": (26, 131, 287, 13),
        "line3": (26, 151, 272, 13), "line4": (26, 171, 345, 13),
        "mark1": (26, 111, 13, 13), "mark2": (26, 131, 13, 13),
        "mark3": (26, 151, 13, 13), "mark4": (26, 171, 13, 13),
        "close": (163, 254, 72, 24), "close-lit": (164, 255, 73, 25),
    }

    def test_sheet_and_lit_button(self):
        sheet = Bmp(read("contacts.bmp"))
        lit = Bmp(read("contacts-close-lit.bmp"))
        self.assertEqual((sheet.w, sheet.h), (400, 300))
        self.assertEqual((lit.w, lit.h), (73, 25))
        self.assertIn(sheet.bpp, (4, 8))
        self.assertIn(lit.bpp, (4, 8))
        x0, y0 = 164, 255
        # The lit button must differ from the plain one, and its corners must
        # match the sheet so that it lies on it without a seam.
        differ = sum(lit.rgb(x, y) != sheet.rgb(x0 + x, y0 + y) for y in range(25) for x in range(73))
        self.assertGreater(differ, 500)
        for (x, y) in [(0, 0), (72, 0), (0, 24), (72, 24)]:
            a, b = lit.rgb(x, y), sheet.rgb(x0 + x, y0 + y)
            self.assertLess(max(abs(a[i] - b[i]) for i in range(3)), 12, "corner %r" % ((x, y),))

    def test_lines_carry_text_inside_their_hot_areas(self):
        sheet = Bmp(read("contacts.bmp"))
        for (x, y, w, h) in [self.EXPECTED["line%d" % i] for i in range(1, 5)]:
            bg = sheet.rgb(396, y + h // 2)
            ink_in = sum(lum(sheet.rgb(xx, yy)) < lum(bg) - 80 for yy in range(y, y + h) for xx in range(x + 16, x + w))
            ink_out = sum(lum(sheet.rgb(xx, yy)) < lum(bg) - 80 for yy in range(y, y + h) for xx in range(x + w, 400))
            self.assertGreater(ink_in, 100, "line at %d has no text" % y)
            self.assertEqual(ink_out, 0, "text of line at %d runs past its hot area" % y)

    def test_layout_file(self):
        got = {}
        for line in read("contacts-layout.txt").decode("ascii").splitlines():
            if line and not line.startswith("#"):
                name, *vals = line.split()
                got[name] = tuple(int(v) for v in vals)
        self.assertEqual(got, self.EXPECTED)


class IconsAndCursor(unittest.TestCase):
    def icon_dir(self, name, kind):
        data = read(name)
        reserved, typ, count = struct.unpack_from("<HHH", data, 0)
        self.assertEqual((reserved, typ), (0, kind))
        entries = []
        for i in range(count):
            w, h, cc, _, f1, f2, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
            self.assertLessEqual(off + size, len(data))
            hsize, bw, bh, planes, bpp = struct.unpack_from("<IiiHH", data, off)
            self.assertEqual((hsize, bw, bh, planes), (40, w or 256, 2 * (h or 256), 1))
            stride = lambda bits: (((w or 256) * bits + 31) // 32) * 4
            pal = 4 * (1 << bpp) if bpp <= 8 else 0
            self.assertEqual(size, 40 + pal + (stride(bpp) + stride(1)) * (h or 256))
            entries.append((w, h, f1, f2, bpp, data[off:off + size]))
        return entries

    def test_program_icons(self):
        for name, sizes in [("brevaro.ico", [16, 32, 48]), ("tray.ico", [16, 32])]:
            entries = self.icon_dir(name, 1)
            self.assertEqual([e[0] for e in entries], sizes, name)
            for (w, h, _, bpp_field, bpp, blob) in entries:
                self.assertEqual(bpp, 32)
                alphas = {blob[40 + 4 * i + 3] for i in range(w * h)}
                self.assertIn(255, alphas, "%s %d px has no opaque pixel" % (name, w))
                self.assertIn(0, alphas, "%s %d px has no transparent pixel" % (name, w))

    def test_move_cursor(self):
        (w, h, hx, hy, bpp, blob), = self.icon_dir("move.cur", 2)
        self.assertEqual((w, h, bpp), (32, 32, 1))
        self.assertEqual((hx, hy), (16, 16))
        xor_at = 40 + 8
        and_at = xor_at + 4 * 32
        bit = lambda base, x, y: (blob[base + (31 - y) * 4 + x // 8] >> (7 - x % 8)) & 1
        # The hotspot is on the white centre of the arrow; the corners are clear.
        self.assertEqual((bit(and_at, 16, 16), bit(xor_at, 16, 16)), (0, 1))
        for (x, y) in [(0, 0), (31, 0), (0, 31), (31, 31)]:
            self.assertEqual((bit(and_at, x, y), bit(xor_at, x, y)), (1, 0))
        # Four-way symmetry about the hotspot.
        for (x, y) in [(16, 4), (16, 28), (4, 16), (28, 16)]:
            self.assertEqual(bit(and_at, x, y), 0, "no arrow arm at %r" % ((x, y),))


class Bitmaps(unittest.TestCase):
    def check(self, name, w, h, bpp):
        b = Bmp(read(name))
        self.assertEqual((b.w, b.h, b.bpp), (w, h, bpp), name)
        self.assertGreater(len({b.index(x, y) for y in range(h) for x in range(w)}), 1, name + " is flat")
        return b

    def test_menu_bitmaps(self):
        tile = Bmp(read("menu-tile.bmp"))
        counts = {}
        for y in range(tile.h):
            for x in range(tile.w):
                counts[tile.rgb(x, y)] = counts.get(tile.rgb(x, y), 0) + 1
        background = max(counts, key=counts.get)
        for res in ["activate", "options", "contact", "website", "email", "exit"]:
            b = self.check("menu-%s.bmp" % res, 16, 16, 4)
            # The lower left pixel is the menu background (the transparent colour).
            self.assertEqual(b.rgb(0, 15), background, res)
        self.check("menu-tile.bmp", 32, 32, 4)
        self.check("menu-title.bmp", 27, 240, 8)

    def test_installer_pictures(self):
        self.check("install-image1.bmp", 175, 175, 8)
        self.check("install-image2.bmp", 130, 130, 8)


class Movie(unittest.TestCase):
    def parse(self, body):
        pos = 0
        nbits = body[0] >> 3
        bits = "".join(format(b, "08b") for b in body[:(5 + 4 * nbits + 7) // 8])
        vals = []
        for i in range(4):
            v = int(bits[5 + i * nbits:5 + (i + 1) * nbits], 2)
            if v >> (nbits - 1):
                v -= 1 << nbits
            vals.append(v)
        pos = (5 + 4 * nbits + 7) // 8
        rate, frames = struct.unpack_from("<HH", body, pos)
        pos += 4
        tags = []
        while True:
            code_len, = struct.unpack_from("<H", body, pos)
            pos += 2
            code, length = code_len >> 6, code_len & 0x3F
            if length == 0x3F:
                length, = struct.unpack_from("<I", body, pos)
                pos += 4
            tags.append((code, body[pos:pos + length]))
            pos += length
            if code == 0:
                break
        self.assertEqual(pos, len(body), "data after the End tag")
        return vals, rate, frames, tags

    def test_plain_movie(self):
        data = read("bv.swf")
        self.assertEqual(data[:3], b"FWS")
        self.assertIn(data[3], (5, 6))
        self.assertEqual(struct.unpack_from("<I", data, 4)[0], len(data))
        rect, rate, frames, tags = self.parse(data[8:])
        self.assertEqual(rect, [0, 468 * 20, 0, 60 * 20])
        self.assertEqual(rate, 12 << 8)
        codes = [c for c, _ in tags]
        self.assertEqual(codes[-1], 0)
        self.assertIn(1, codes)
        self.assertEqual(frames, codes.count(1))
        bg = [b for c, b in tags if c == 9]
        self.assertEqual(len(bg), 1)
        self.assertEqual(len(bg[0]), 3)

    def test_compressed_movie_is_the_same_movie(self):
        plain, packed = read("bv.swf"), read("bv-cws.swf")
        self.assertEqual(packed[:3], b"CWS")
        self.assertEqual(packed[3], plain[3])
        body = zlib.decompress(packed[8:])
        self.assertEqual(struct.unpack_from("<I", packed, 4)[0], 8 + len(body))
        self.assertEqual(body, plain[8:])


class Size(unittest.TestCase):
    def test_total_size(self):
        total = sum(os.path.getsize(os.path.join(ART, n)) for n in os.listdir(ART))
        self.assertLess(total, 2 * 1024 * 1024)


if __name__ == "__main__":
    ART = sys.argv.pop(1)
    unittest.main(verbosity=1)
