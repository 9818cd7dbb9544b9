"""File writers for the artwork: palettised BMP, icon, cursor and movie.

All writers are byte-for-byte deterministic: the palette of a picture comes
from a fixed median-cut over its own colour histogram with stable tie
breaking, and nothing depends on time, randomness or the machine.
"""

import math
import struct
import zlib

# --- palettes ----------------------------------------------------------------


def _dist(a, b):
    # Weighted RGB distance; green counts most, as the eye does.
    dr, dg, db = a[0] - b[0], a[1] - b[1], a[2] - b[2]
    return 2 * dr * dr + 4 * dg * dg + 3 * db * db


def make_palette(rows, size, reserve=None):
    """Chooses `size` colours for the picture.

    The most frequent exact colours (flat areas such as the panel fills) are
    kept unchanged, up to `reserve` of them; the remaining slots come from a
    median cut over all colours, weighted by pixel count.
    """
    hist = {}
    for row in rows:
        for c in row:
            hist[c] = hist.get(c, 0) + 1
    if len(hist) <= size:
        return sorted(hist)
    if reserve is None:
        reserve = size // 4
    by_count = sorted(hist.items(), key=lambda kv: (-kv[1], kv[0]))
    total = sum(hist.values())
    fixed = [c for c, n in by_count[:reserve] if n * 400 >= total or n >= 64]
    rest = sorted(c for c in hist if c not in set(fixed))
    boxes = [rest]
    while len(boxes) + len(fixed) < size:
        best, best_score, best_axis = None, -1.0, 0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            ranges = [max(c[k] for c in box) - min(c[k] for c in box) for k in range(3)]
            axis = max(range(3), key=lambda k: (ranges[k], -k))
            weight = sum(hist[c] for c in box)
            score = ranges[axis] * math.sqrt(weight)
            if score > best_score:
                best, best_score, best_axis = i, score, axis
        if best is None or best_score <= 0:
            break
        box = sorted(boxes[best], key=lambda c: (c[best_axis], c))
        half = sum(hist[c] for c in box) / 2.0
        acc, cut = 0, 1
        for j, c in enumerate(box):
            acc += hist[c]
            if acc >= half:
                cut = max(1, min(len(box) - 1, j + 1))
                break
        boxes[best:best + 1] = [box[:cut], box[cut:]]
    pal = set(fixed)
    for box in boxes:
        if not box:
            continue
        w = sum(hist[c] for c in box)
        pal.add(tuple(int(sum(c[k] * hist[c] for c in box) / w + 0.5) for k in range(3)))
    return sorted(pal)


def quantise(rows, palette):
    """Maps every pixel to the index of its nearest palette colour."""
    exact = {c: i for i, c in enumerate(palette)}
    cache = {}
    out = []
    for row in rows:
        line = []
        for c in row:
            i = exact.get(c)
            if i is None:
                i = cache.get(c)
                if i is None:
                    i = min(range(len(palette)), key=lambda k: (_dist(c, palette[k]), k))
                    cache[c] = i
            line.append(i)
        out.append(line)
    return out


# --- BMP -------------------------------------------------------------------------

PELS_PER_METRE = 3780  # 96 dots per inch


def _pack_rows(indices, bpp, width):
    """Bottom-up rows, each padded to a multiple of 4 bytes."""
    stride = ((width * bpp + 31) // 32) * 4
    out = bytearray()
    for row in reversed(indices):
        line = bytearray(stride)
        for x, v in enumerate(row):
            if bpp == 8:
                line[x] = v
            elif bpp == 4:
                line[x >> 1] |= (v & 15) << (4 if x % 2 == 0 else 0)
            elif bpp == 1:
                if v:
                    line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def _rle8_rows(indices):
    """Bottom-up rows run-length encoded (BI_RLE8): runs of one index as
    (count, index); stretches without runs as a literal (0, n, indices, pad)
    when n >= 3; each row ends with (0, 0), the picture with (0, 1)."""
    out = bytearray()
    for row in reversed(indices):
        w, x = len(row), 0
        while x < w:
            run = 1
            while x + run < w and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 2:
                out += bytes((run, row[x]))
                x += run
                continue
            # A literal stretch: up to where a run of three or more begins.
            end = x + 1
            while end < w and end - x < 255:
                if end + 2 < w and row[end] == row[end + 1] == row[end + 2]:
                    break
                end += 1
            n = end - x
            if n >= 3:
                out += bytes((0, n)) + bytes(row[x:end]) + (b"\0" if n & 1 else b"")
            else:
                for v in row[x:end]:
                    out += bytes((1, v))
            x = end
        out += b"\0\0"
    out[-1] = 1  # the last row's end is the picture's end
    return bytes(out)


def bmp_bytes(indices, palette, bpp, rle8=False):
    """A palettised BMP (BITMAPINFOHEADER): uncompressed (BI_RGB), or for
    8-bit pictures with rle8, run-length encoded (BI_RLE8)."""
    h, w = len(indices), len(indices[0])
    ncol = 1 << bpp
    assert len(palette) <= ncol
    assert not rle8 or bpp == 8
    pal = list(palette) + [(0, 0, 0)] * (ncol - len(palette))
    pixels = _rle8_rows(indices) if rle8 else _pack_rows(indices, bpp, w)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in pal)
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 1 if rle8 else 0, len(pixels),
                       PELS_PER_METRE, PELS_PER_METRE, ncol, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return head + info + table + pixels


def write_bmp(path, rgb_rows, bpp, reserve=None):
    """Quantises an RGB picture to 2**bpp colours and writes it; 8-bit
    pictures run-length encoded, which keeps the executables small."""
    pal = make_palette(rgb_rows, 1 << bpp, reserve)
    data = bmp_bytes(quantise(rgb_rows, pal), pal, bpp, rle8=bpp == 8)
    with open(path, "wb") as f:
        f.write(data)
    return data


def write_mono_bmp(path, bits):
    """A 1-bit BMP: palette index 0 black, index 1 white; bits[y][x] in {0, 1}."""
    data = bmp_bytes(bits, [(0, 0, 0), (255, 255, 255)], 1)
    with open(path, "wb") as f:
        f.write(data)
    return data


# --- icons and cursors -------------------------------------------------------------


def _icon_image_32(rgba_rows):
    """One icon image: 32-bit BGRA colour plane plus the 1-bit AND mask."""
    h, w = len(rgba_rows), len(rgba_rows[0])
    colour = bytearray()
    for row in reversed(rgba_rows):
        for (r, g, b, a) in row:
            colour += bytes((b, g, r, a))
    mask = _pack_rows([[1 if p[3] < 128 else 0 for p in row] for row in rgba_rows], 1, w)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0,
                       len(colour) + len(mask), 0, 0, 0, 0)
    return info + bytes(colour) + mask


def ico_bytes(images):
    """A .ico holding 32-bit images with alpha, given as lists of RGBA rows."""
    blobs = [_icon_image_32(rows) for rows in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for rows, blob in zip(images, blobs):
        w, h = len(rows[0]), len(rows)
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def cur_bytes(xor_bits, and_bits, hotspot):
    """A monochrome .cur: for each pixel AND 1/XOR 0 is transparent,
    AND 0/XOR 0 black, AND 0/XOR 1 white."""
    h, w = len(xor_bits), len(xor_bits[0])
    xor = _pack_rows(xor_bits, 1, w)
    andm = _pack_rows(and_bits, 1, w)
    table = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 1, 0, len(xor) + len(andm),
                       0, 0, 2, 0)
    blob = info + table + xor + andm
    # ICONDIR type 2 (cursor); in a cursor entry the planes and bit-count
    # fields carry the hotspot's x and y.
    head = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", w, h, 2, 0, hotspot[0], hotspot[1], len(blob), 6 + 16)
    return head + entry + blob


# --- movie ---------------------------------------------------------------------------


class _Bits:
    def __init__(self):
        self.bits = []

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            self.bits.append((value >> i) & 1)

    def bytes(self):
        out = bytearray()
        for i in range(0, len(self.bits), 8):
            chunk = self.bits[i:i + 8] + [0] * (8 - len(self.bits[i:i + 8]))
            v = 0
            for b in chunk:
                v = (v << 1) | b
            out.append(v)
        return bytes(out)


def swf_rect(xmin, xmax, ymin, ymax):
    """RECT record: 5-bit field size, then four signed fields of that size."""
    vals = (xmin, xmax, ymin, ymax)
    nbits = max(max(abs(v).bit_length() for v in vals) + 1, 1)
    b = _Bits()
    b.put(nbits, 5)
    for v in vals:
        b.put(v & ((1 << nbits) - 1), nbits)
    return b.bytes()


def swf_tag(code, body=b""):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def swf_movie(version, width_px, height_px, fps, tags, frames):
    """An uncompressed movie ("FWS") and its zlib-compressed twin ("CWS").

    Header as written:
      bytes 0-2  signature "FWS" (or "CWS": everything after byte 7 is zlib data)
      byte  3    version
      bytes 4-7  file length, little-endian: the length of the whole
                 uncompressed file, header included (the same value in both)
      then       frame size RECT in twips (20 per pixel): 0..width, 0..height
      2 bytes    frame rate, 8.8 fixed point, little-endian (12 fps = 00 0C)
      2 bytes    frame count, little-endian
      then       the tags, the last one End (code 0)
    """
    body = swf_rect(0, width_px * 20, 0, height_px * 20)
    body += struct.pack("<HH", int(fps * 256), frames)
    body += b"".join(tags)
    length = 8 + len(body)
    fws = b"FWS" + bytes([version]) + struct.pack("<I", length) + body
    cws = b"CWS" + bytes([version]) + struct.pack("<I", length) + zlib.compress(body, 9)
    return fws, cws
