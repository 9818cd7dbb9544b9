"""Vector movie records for the default banner: shapes of straight and curved
edges with solid and linear-gradient fills and plain lines (DefineShape3),
sprites, and the display-list tags (PlaceObject2 with matrix and colour
transform, RemoveObject2, ShowFrame). Everything in twips (20 per pixel).
"""

import math
import struct


class Bits:
    """Bit fields, most significant bit first; align() pads to a byte."""

    def __init__(self):
        self.out = bytearray()
        self.n = 0

    def put(self, value, n):
        for i in range(n - 1, -1, -1):
            if self.n % 8 == 0:
                self.out.append(0)
            if (value >> i) & 1:
                self.out[-1] |= 0x80 >> (self.n % 8)
            self.n += 1

    def put_signed(self, value, n):
        self.put(value & ((1 << n) - 1), n)

    def align(self):
        self.n = (self.n + 7) // 8 * 8

    def raw(self, data):
        self.align()
        self.out += data
        self.n += 8 * len(data)

    def bytes(self):
        return bytes(self.out)


def signed_bits(*values):
    n = 1
    for v in values:
        while not -(1 << (n - 1)) <= v < (1 << (n - 1)):
            n += 1
    return n


def unsigned_bits(v):
    return max(v.bit_length(), 0)


def put_matrix(b, a=1.0, rb=0.0, rc=0.0, d=1.0, tx=0, ty=0):
    """MATRIX: x' = a x + rc y + tx, y' = rb x + d y + ty (16.16 scale and rotation)."""
    b.align()
    fa, fd = int(round(a * 65536)), int(round(d * 65536))
    fb, fc = int(round(rb * 65536)), int(round(rc * 65536))
    has_scale = fa != 65536 or fd != 65536
    b.put(has_scale, 1)
    if has_scale:
        n = signed_bits(fa, fd)
        b.put(n, 5)
        b.put_signed(fa, n)
        b.put_signed(fd, n)
    has_rotate = fb != 0 or fc != 0
    b.put(has_rotate, 1)
    if has_rotate:
        n = signed_bits(fb, fc)
        b.put(n, 5)
        b.put_signed(fb, n)
        b.put_signed(fc, n)
    tx, ty = int(round(tx)), int(round(ty))
    n = 0 if tx == 0 and ty == 0 else signed_bits(tx, ty)
    b.put(n, 5)
    b.put_signed(tx, n)
    b.put_signed(ty, n)
    b.align()


def matrix_bytes(**m):
    b = Bits()
    put_matrix(b, **m)
    return b.bytes()


def cxform_alpha(mult=(256, 256, 256, 256), add=(0, 0, 0, 0)):
    """CXFORMWITHALPHA: channel * mult / 256 + add."""
    b = Bits()
    has_mult, has_add = tuple(mult) != (256, 256, 256, 256), tuple(add) != (0, 0, 0, 0)
    vals = (list(mult) if has_mult else []) + (list(add) if has_add else [])
    n = signed_bits(*vals) if vals else 1
    b.put(has_add, 1)
    b.put(has_mult, 1)
    b.put(n, 4)
    for v in vals:
        b.put_signed(v, n)
    return b.bytes()


def solid(rgba):
    return bytes([0x00]) + bytes(rgba)


def linear(matrix, stops):
    """A linear gradient: the square -16384..16384 mapped by `matrix` (a dict
    for put_matrix), stops as (ratio, rgba)."""
    return bytes([0x10]) + matrix_bytes(**matrix) + bytes([len(stops)]) + b"".join(
        bytes([r]) + bytes(c) for r, c in stops)


def gradient_across(x0, x1, y0, y1, vertical=False):
    """Matrix arguments putting the gradient square over a box, along x (or y)."""
    if vertical:
        return dict(a=0.0, rb=(y1 - y0) / 32768.0, rc=-(x1 - x0) / 32768.0, d=0.0,
                    tx=(x0 + x1) / 2.0, ty=(y0 + y1) / 2.0)
    return dict(a=(x1 - x0) / 32768.0, d=(y1 - y0) / 32768.0, tx=(x0 + x1) / 2.0, ty=(y0 + y1) / 2.0)


class Path:
    """Contours for a shape: each starts with move(), carries its fill and line."""

    def __init__(self):
        self.contours = []

    def move(self, x, y, fill=0, line=0):
        self.contours.append({"fill": fill, "line": line, "start": (round(x), round(y)), "pieces": []})
        return self

    def line_to(self, x, y):
        self.contours[-1]["pieces"].append(("l", round(x), round(y)))
        return self

    def curve_to(self, cx, cy, x, y):
        self.contours[-1]["pieces"].append(("c", round(cx), round(cy), round(x), round(y)))
        return self

    def arc(self, cx, cy, rx, ry, a0, a1, fill=0, line=0, join=False):
        """An elliptic arc from angle a0 to a1 (degrees, y down) in curves of at most 45 degrees."""
        steps = max(1, int(math.ceil(abs(a1 - a0) / 45.0)))
        da = math.radians(a1 - a0) / steps
        p = (cx + rx * math.cos(math.radians(a0)), cy + ry * math.sin(math.radians(a0)))
        if not join:
            self.move(p[0], p[1], fill, line)
        else:
            self.line_to(*p)
        for i in range(steps):
            t0 = math.radians(a0) + i * da
            mid, t1 = t0 + da / 2, t0 + da
            k = 1 / math.cos(da / 2)
            self.curve_to(cx + rx * k * math.cos(mid), cy + ry * k * math.sin(mid),
                          cx + rx * math.cos(t1), cy + ry * math.sin(t1))
        return self

    def rounded_rect(self, x0, y0, x1, y1, r, fill=0, line=0):
        self.move(x0 + r, y0, fill, line)
        self.line_to(x1 - r, y0).curve_to(x1, y0, x1, y0 + r)
        self.line_to(x1, y1 - r).curve_to(x1, y1, x1 - r, y1)
        self.line_to(x0 + r, y1).curve_to(x0, y1, x0, y1 - r)
        self.line_to(x0, y0 + r).curve_to(x0, y0, x0 + r, y0)
        return self


def define_shape3(shape_id, fills, lines, path):
    """DefineShape3: RGBA styles; fills are fill-style records (solid(),
    linear()), lines are (width, rgba). Contours carry their fill as fill 1
    (drawn clockwise on screen) and their line."""
    b = Bits()
    b.raw(struct.pack("<H", shape_id))
    pts = [c["start"] for c in path.contours] + [p[-2:] for c in path.contours for p in c["pieces"]]
    pad = max([w for w, _ in lines] + [0]) // 2
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    bounds = (min(xs) - pad, max(xs) + pad, min(ys) - pad, max(ys) + pad)
    n = signed_bits(*bounds)
    b.put(n, 5)
    for v in bounds:
        b.put_signed(v, n)
    b.align()
    b.raw(bytes([len(fills)]) + b"".join(fills))
    b.raw(bytes([len(lines)]) + b"".join(struct.pack("<H", w) + bytes(c) for w, c in lines))
    fb, lb = unsigned_bits(len(fills)), unsigned_bits(len(lines))
    b.put(fb, 4)
    b.put(lb, 4)
    for c in path.contours:
        b.put(0, 1)
        b.put(0, 1)                       # new styles
        b.put(1 if lb else 0, 1)          # line style
        b.put(1 if fb else 0, 1)          # fill style 1
        b.put(1 if fb else 0, 1)          # fill style 0
        b.put(1, 1)                       # move to
        x, y = c["start"]
        mn = signed_bits(x, y)
        b.put(mn, 5)
        b.put_signed(x, mn)
        b.put_signed(y, mn)
        if fb:
            b.put(0, fb)
            b.put(c["fill"], fb)
        if lb:
            b.put(c["line"], lb)
        for p in c["pieces"]:
            b.put(1, 1)
            if p[0] == "l":
                dx, dy = p[1] - x, p[2] - y
                n = max(2, signed_bits(dx, dy))
                b.put(1, 1)
                b.put(n - 2, 4)
                if dx and dy:
                    b.put(1, 1)
                    b.put_signed(dx, n)
                    b.put_signed(dy, n)
                else:
                    b.put(0, 1)
                    b.put(1 if dx == 0 else 0, 1)
                    b.put_signed(dy if dx == 0 else dx, n)
                x, y = p[1], p[2]
            else:
                cdx, cdy, adx, ady = p[1] - x, p[2] - y, p[3] - p[1], p[4] - p[2]
                n = max(2, signed_bits(cdx, cdy, adx, ady))
                b.put(0, 1)
                b.put(n - 2, 4)
                for v in (cdx, cdy, adx, ady):
                    b.put_signed(v, n)
                x, y = p[3], p[4]
    b.put(0, 6)
    return tag(32, b.bytes())


def tag(code, body=b""):
    if len(body) < 0x3F:
        return struct.pack("<H", (code << 6) | len(body)) + body
    return struct.pack("<HI", (code << 6) | 0x3F, len(body)) + body


def place(depth, character=None, matrix=None, cxform=None, move=False):
    """PlaceObject2: a new character at `depth`, or (move) a change to what is there."""
    flags = (1 if move else 0) | (2 if character is not None else 0) | (4 if matrix is not None else 0) | \
        (8 if cxform is not None else 0)
    body = bytes([flags]) + struct.pack("<H", depth)
    if character is not None:
        body += struct.pack("<H", character)
    if matrix is not None:
        body += matrix_bytes(**matrix)
    if cxform is not None:
        body += cxform
    return tag(26, body)


def remove(depth):
    return tag(28, struct.pack("<H", depth))


def show_frame():
    return tag(1)


def define_sprite(sprite_id, frames, tags):
    return tag(39, struct.pack("<HH", sprite_id, frames) + b"".join(tags) + tag(0))
