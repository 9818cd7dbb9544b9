#include "media/swf/swf_movie.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace brevaro::media::swf {

namespace {

// Tag codes this parser reads.
enum : unsigned {
  kEnd = 0,
  kShowFrame = 1,
  kDefineShape = 2,
  kPlaceObject = 4,
  kRemoveObject = 5,
  kSetBackgroundColor = 9,
  kDefineShape2 = 22,
  kPlaceObject2 = 26,
  kRemoveObject2 = 28,
  kDefineShape3 = 32,
  kDefineSprite = 39,
  kFrameLabel = 43,
  kPlaceObject3 = 70,
  kDefineShape4 = 83,
};

// Reads a byte-aligned record's bit fields, most significant bit first. A read
// past the end yields zeros and sets `failed`.
class Bits {
 public:
  explicit Bits(std::span<const std::uint8_t> b) : b_(b) {}

  std::uint32_t ub(unsigned n) {
    std::uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) {
      const std::size_t byte = pos_ >> 3;
      if (byte >= b_.size()) {
        failed = true;
        return 0;
      }
      v = (v << 1) | ((b_[byte] >> (7 - (pos_ & 7))) & 1u);
      ++pos_;
    }
    return v;
  }
  std::int32_t sb(unsigned n) {
    const std::uint32_t u = ub(n);
    if (n == 0) return 0;
    if (n < 32 && (u & (1u << (n - 1)))) return static_cast<std::int32_t>(u | ~((1u << n) - 1));
    return static_cast<std::int32_t>(u);
  }
  // 16.16 fixed point in n bits.
  double fb(unsigned n) { return sb(n) / 65536.0; }
  void align() { pos_ = (pos_ + 7) & ~std::size_t{7}; }
  std::uint8_t u8() {
    align();
    return static_cast<std::uint8_t>(ub(8));
  }
  std::uint16_t u16() {
    const std::uint32_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint32_t u32() {
    const std::uint32_t lo = u16();
    return lo | (static_cast<std::uint32_t>(u16()) << 16);
  }
  Rgba rgb() {
    Rgba c;
    c.r = u8();
    c.g = u8();
    c.b = u8();
    return c;
  }
  Rgba rgba() {
    Rgba c = rgb();
    c.a = u8();
    return c;
  }
  std::string str() {
    align();
    std::string s;
    while (!failed) {
      const std::uint8_t c = u8();
      if (c == 0 || failed) break;
      s.push_back(static_cast<char>(c));
    }
    return s;
  }
  void skip_bytes(std::size_t n) {
    align();
    const std::size_t left = remaining();
    if (n > left) {
      failed = true;
      n = left;
    }
    pos_ += n * 8;
  }
  std::size_t byte_pos() const { return (pos_ + 7) >> 3; }
  std::size_t remaining() const { return b_.size() - std::min(b_.size(), byte_pos()); }

  bool failed = false;

 private:
  std::span<const std::uint8_t> b_;
  std::size_t pos_ = 0;
};

Matrix matrix(Bits& r) {
  r.align();
  Matrix m;
  if (r.ub(1)) {
    const unsigned n = r.ub(5);
    m.a = r.fb(n);
    m.d = r.fb(n);
  }
  if (r.ub(1)) {
    const unsigned n = r.ub(5);
    m.b = r.fb(n);
    m.c = r.fb(n);
  }
  const unsigned n = r.ub(5);
  m.tx = r.sb(n);
  m.ty = r.sb(n);
  return m;
}

ColorTransform color_transform(Bits& r, bool with_alpha) {
  r.align();
  ColorTransform cx;
  const bool add = r.ub(1) != 0, mult = r.ub(1) != 0;
  const unsigned n = r.ub(4);
  if (mult) {
    cx.mult_r = r.sb(n);
    cx.mult_g = r.sb(n);
    cx.mult_b = r.sb(n);
    if (with_alpha) cx.mult_a = r.sb(n);
  }
  if (add) {
    cx.add_r = r.sb(n);
    cx.add_g = r.sb(n);
    cx.add_b = r.sb(n);
    if (with_alpha) cx.add_a = r.sb(n);
  }
  return cx;
}

FillStyle fill_style(Bits& r, int version) {
  FillStyle f;
  const std::uint8_t type = r.u8();
  const bool alpha = version >= 3;
  switch (type) {
    case 0x00:
      f.kind = FillKind::solid;
      f.color = alpha ? r.rgba() : r.rgb();
      break;
    case 0x10:
    case 0x12:
    case 0x13: {
      f.kind = static_cast<FillKind>(type);
      f.matrix = matrix(r);
      r.align();
      f.spread = static_cast<Spread>(std::min<std::uint32_t>(r.ub(2), 2));  // 3 is reserved: pad
      f.interpolation = static_cast<Interpolation>(r.ub(2) == 1 ? 1 : 0);
      const unsigned count = r.ub(4);
      for (unsigned i = 0; i < count && !r.failed; ++i) {
        GradientStop s;
        s.ratio = r.u8();
        s.color = alpha ? r.rgba() : r.rgb();
        f.stops.push_back(s);
      }
      if (type == 0x13) {
        const std::uint16_t raw = r.u16();
        f.focal = std::clamp(static_cast<std::int16_t>(raw) / 256.0, -1.0, 1.0);
      }
      break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
      f.kind = FillKind::bitmap;
      f.bitmap_type = type;
      f.bitmap_id = r.u16();
      f.matrix = matrix(r);
      break;
    default:
      r.failed = true;  // an unknown fill type leaves the rest unreadable
      break;
  }
  return f;
}

std::size_t style_count(Bits& r, int version) {
  std::size_t n = r.u8();
  if (n == 0xFF && version >= 2) n = r.u16();
  return n;
}

bool style_arrays(Bits& r, int version, Shape& s, const MovieLimits& lim) {
  ShapeLayer layer;
  layer.fill_begin = static_cast<std::uint32_t>(s.fills.size() + 1);
  const std::size_t nf = style_count(r, version);
  for (std::size_t i = 0; i < nf && !r.failed; ++i) {
    FillStyle f = fill_style(r, version);
    if (r.failed) break;
    if (s.fills.size() + s.lines.size() >= lim.max_styles_per_shape) {
      r.failed = true;
      break;
    }
    s.fills.push_back(std::move(f));
  }
  layer.fill_end = static_cast<std::uint32_t>(s.fills.size() + 1);
  layer.line_begin = static_cast<std::uint32_t>(s.lines.size() + 1);
  const std::size_t nl = r.failed ? 0 : style_count(r, version);
  for (std::size_t i = 0; i < nl && !r.failed; ++i) {
    LineStyle l;
    l.width = r.u16();
    if (version >= 4) {
      l.start_cap = static_cast<std::uint8_t>(r.ub(2));
      l.join = static_cast<std::uint8_t>(r.ub(2));
      const bool has_fill = r.ub(1) != 0;
      r.ub(3);  // no horizontal / vertical scale, pixel hinting
      r.ub(5);  // reserved
      r.ub(1);  // no close
      l.end_cap = static_cast<std::uint8_t>(r.ub(2));
      if (l.join == 2) r.u16();  // miter limit, 8.8
      if (has_fill) {
        l.fill = fill_style(r, version);
        if (l.fill->kind == FillKind::solid) l.color = l.fill->color;
      } else {
        l.color = r.rgba();
      }
    } else {
      l.color = version >= 3 ? r.rgba() : r.rgb();
    }
    if (r.failed) break;
    if (s.fills.size() + s.lines.size() >= lim.max_styles_per_shape) {
      r.failed = true;
      break;
    }
    s.lines.push_back(std::move(l));
  }
  layer.line_end = static_cast<std::uint32_t>(s.lines.size() + 1);
  s.layers.push_back(layer);
  return !r.failed;
}

// Pen positions are kept inside +-2^30 twips so that later arithmetic cannot overflow.
std::int32_t clamp_pos(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, -(std::int64_t{1} << 30), std::int64_t{1} << 30));
}

bool shape_body(std::span<const std::uint8_t> body, int version, Shape& s, const MovieLimits& lim,
                std::size_t edges_left) {
  Bits r(body);
  s.version = version;
  s.id = r.u16();
  r.align();
  const unsigned nb = r.ub(5);
  s.x_min = r.sb(nb);
  s.x_max = r.sb(nb);
  s.y_min = r.sb(nb);
  s.y_max = r.sb(nb);
  if (version >= 4) {
    r.align();
    const unsigned eb = r.ub(5);
    for (int i = 0; i < 4; ++i) r.sb(eb);  // edge bounds
    r.u8();                                // reserved, winding rule, stroke scaling flags
  }
  if (r.failed || !style_arrays(r, version, s, lim)) {
    s.truncated = true;
    return false;
  }
  r.align();
  unsigned fill_bits = r.ub(4), line_bits = r.ub(4);
  std::uint32_t fill_base = 0, line_base = 0;  // style numbers of the current layer start after these
  std::uint32_t fill_count = static_cast<std::uint32_t>(s.fills.size());
  std::uint32_t line_count = static_cast<std::uint32_t>(s.lines.size());
  std::uint32_t fill0 = 0, fill1 = 0, line = 0;
  std::int64_t x = 0, y = 0;
  const std::size_t cap = std::min(lim.max_edges_per_shape, edges_left);
  const auto map = [](std::uint32_t raw, std::uint32_t base, std::uint32_t count) -> std::uint32_t {
    return raw == 0 || raw > count ? 0 : base + raw;  // out of range: no style
  };
  while (!r.failed) {
    if (r.ub(1) == 0) {
      const std::uint32_t flags = r.ub(5);
      if (flags == 0) return !r.failed;  // end of shape
      const bool new_styles = flags & 0x10, has_line = flags & 0x08, has_fill1 = flags & 0x04, has_fill0 = flags & 0x02,
                 move = flags & 0x01;
      if (move) {
        const unsigned n = r.ub(5);
        x = r.sb(n);
        y = r.sb(n);
      }
      std::optional<std::uint32_t> raw0, raw1, rawl;
      if (has_fill0) raw0 = r.ub(fill_bits);
      if (has_fill1) raw1 = r.ub(fill_bits);
      if (has_line) rawl = r.ub(line_bits);
      if (new_styles) {
        fill_base = static_cast<std::uint32_t>(s.fills.size());
        line_base = static_cast<std::uint32_t>(s.lines.size());
        if (!style_arrays(r, version, s, lim)) break;
        fill_count = static_cast<std::uint32_t>(s.fills.size()) - fill_base;
        line_count = static_cast<std::uint32_t>(s.lines.size()) - line_base;
        r.align();
        fill_bits = r.ub(4);
        line_bits = r.ub(4);
        fill0 = fill1 = line = 0;
      }
      if (raw0) fill0 = map(*raw0, fill_base, fill_count);
      if (raw1) fill1 = map(*raw1, fill_base, fill_count);
      if (rawl) line = map(*rawl, line_base, line_count);
      continue;
    }
    Edge e;
    e.fill0 = fill0;
    e.fill1 = fill1;
    e.line = line;
    e.x0 = clamp_pos(x);
    e.y0 = clamp_pos(y);
    const bool straight = r.ub(1) != 0;
    const unsigned n = r.ub(4) + 2;
    if (straight) {
      std::int32_t dx = 0, dy = 0;
      if (r.ub(1)) {
        dx = r.sb(n);
        dy = r.sb(n);
      } else if (r.ub(1)) {
        dy = r.sb(n);
      } else {
        dx = r.sb(n);
      }
      x = clamp_pos(x + dx);
      y = clamp_pos(y + dy);
      e.cx = clamp_pos((e.x0 + x) / 2);
      e.cy = clamp_pos((e.y0 + y) / 2);
    } else {
      e.curved = true;
      x = clamp_pos(x + r.sb(n));
      y = clamp_pos(y + r.sb(n));
      e.cx = static_cast<std::int32_t>(x);
      e.cy = static_cast<std::int32_t>(y);
      x = clamp_pos(x + r.sb(n));
      y = clamp_pos(y + r.sb(n));
    }
    e.x1 = static_cast<std::int32_t>(x);
    e.y1 = static_cast<std::int32_t>(y);
    if (r.failed) break;
    if (s.edges.size() >= cap) break;
    // An edge with neither fill nor line draws nothing.
    if (e.fill0 || e.fill1 || e.line) s.edges.push_back(e);
  }
  s.truncated = true;
  return false;
}

bool inflate_all(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out, std::size_t limit, bool& cut) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  out.clear();
  std::size_t cap = std::min<std::size_t>(limit, std::max<std::size_t>(in.size() * 4, 64 * 1024));
  out.resize(cap);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0x7FFFFFFF));
  std::size_t got = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (got == cap) {
      if (cap >= limit) {
        cut = true;  // the rest of a larger stream is not read: a bomb stops here
        break;
      }
      cap = std::min(limit, cap * 2);
      out.resize(cap);
    }
    z.next_out = out.data() + got;
    z.avail_out = static_cast<uInt>(cap - got);
    rc = inflate(&z, Z_NO_FLUSH);
    got = cap - z.avail_out;
  }
  inflateEnd(&z);
  out.resize(got);
  if (rc != Z_OK && rc != Z_STREAM_END) cut = true;
  return got > 0;
}

struct Reader {
  Movie& movie;
  const MovieLimits& lim;
  std::size_t edges = 0;
  std::size_t control_tags = 0;

  bool characters_full() const { return movie.shapes.size() + movie.sprites.size() >= lim.max_characters; }

  // Reads tags into `tl` until End or the end of `b`. `in_sprite`: only
  // control tags count (definitions inside a sprite are not allowed).
  void tags(std::span<const std::uint8_t> b, Timeline& tl, bool in_sprite) {
    std::size_t pos = 0;
    Frame current;
    bool pending = false;
    while (b.size() - pos >= 2) {
      const unsigned head = b[pos] | (b[pos + 1] << 8);
      pos += 2;
      const unsigned code = head >> 6;
      std::size_t len = head & 0x3F;
      if (len == 0x3F) {
        if (b.size() - pos < 4) {
          movie.truncated = true;
          break;
        }
        len = static_cast<std::size_t>(b[pos]) | (static_cast<std::size_t>(b[pos + 1]) << 8) |
              (static_cast<std::size_t>(b[pos + 2]) << 16) | (static_cast<std::size_t>(b[pos + 3]) << 24);
        pos += 4;
      }
      if (code == kEnd) break;
      if (len > b.size() - pos) {
        // Cut inside this tag: what came before stays.
        movie.truncated = true;
        break;
      }
      const auto body = b.subspan(pos, len);
      pos += len;
      ++movie.tag_counts[code];
      switch (code) {
        case kShowFrame:
          if (tl.frames.size() < lim.max_frames) {
            tl.frames.push_back(std::move(current));
          } else {
            movie.truncated = true;
          }
          current = Frame{};
          pending = false;
          break;
        case kSetBackgroundColor:
          if (!in_sprite && body.size() >= 3) movie.background = Rgba{body[0], body[1], body[2], 255};
          break;
        case kDefineShape:
        case kDefineShape2:
        case kDefineShape3:
        case kDefineShape4: {
          if (in_sprite) break;
          const int version = code == kDefineShape ? 1 : code == kDefineShape2 ? 2 : code == kDefineShape3 ? 3 : 4;
          if (characters_full() || edges >= lim.max_edges) {
            movie.truncated = true;
            break;
          }
          Shape s;
          if (!shape_body(body, version, s, lim, lim.max_edges - edges) && body.size() < 2) break;
          if (s.truncated) movie.truncated = true;
          edges += s.edges.size();
          movie.sprites.erase(s.id);
          movie.shapes[s.id] = std::move(s);
          break;
        }
        case kDefineSprite: {
          if (in_sprite || body.size() < 4) break;
          if (characters_full()) {
            movie.truncated = true;
            break;
          }
          Sprite sp;
          sp.id = static_cast<std::uint16_t>(body[0] | (body[1] << 8));
          sp.timeline.declared_frames = static_cast<std::uint16_t>(body[2] | (body[3] << 8));
          tags(body.subspan(4), sp.timeline, true);
          movie.shapes.erase(sp.id);
          movie.sprites[sp.id] = std::move(sp);
          break;
        }
        case kPlaceObject:
        case kPlaceObject2:
        case kPlaceObject3:
          if (control_tags >= lim.max_control_tags) {
            movie.truncated = true;
            break;
          }
          if (auto p = place(body, code)) {
            current.tags.emplace_back(std::move(*p));
            ++control_tags;
            pending = true;
          }
          break;
        case kRemoveObject:
        case kRemoveObject2: {
          if (control_tags >= lim.max_control_tags) {
            movie.truncated = true;
            break;
          }
          Bits r(body);
          Remove rm;
          if (code == kRemoveObject) rm.character = r.u16();
          rm.depth = r.u16();
          if (r.failed) break;
          current.tags.emplace_back(rm);
          ++control_tags;
          pending = true;
          break;
        }
        case kFrameLabel: {
          Bits r(body);
          current.label = r.str();
          break;
        }
        default:
          ++movie.skipped_tags;  // sound, actions, fonts, bitmaps, ...: not played here
          break;
      }
    }
    // Display-list changes after the last ShowFrame (a cut file) make one more frame.
    if (pending && tl.frames.size() < lim.max_frames) tl.frames.push_back(std::move(current));
  }

  static std::optional<Place> place(std::span<const std::uint8_t> body, unsigned code) {
    Bits r(body);
    Place p;
    if (code == kPlaceObject) {
      p.version = 1;
      p.character = r.u16();
      p.depth = r.u16();
      p.matrix = matrix(r);
      if (r.failed) return std::nullopt;
      r.align();
      if (r.remaining() > 0) {
        ColorTransform cx = color_transform(r, false);
        if (!r.failed) p.color = cx;
      }
      return p;
    }
    p.version = code == kPlaceObject2 ? 2 : 3;
    const std::uint8_t f = r.u8();
    const std::uint8_t f2 = p.version == 3 ? r.u8() : 0;
    p.depth = r.u16();
    if (r.failed) return std::nullopt;
    p.move = f & 0x01;
    p.has_clip_actions = f & 0x80;
    const bool has_class = f2 & 0x08, has_image = f2 & 0x10;
    if (has_class || (has_image && (f & 0x02))) p.class_name = r.str();
    if (f & 0x02) p.character = r.u16();
    if (f & 0x04) p.matrix = matrix(r);
    if (f & 0x08) p.color = color_transform(r, true);
    if (f & 0x10) p.ratio = r.u16();
    if (f & 0x20) p.name = r.str();
    if (f & 0x40) p.clip_depth = r.u16();
    if (r.failed) {
      // The fields that matter for drawing must be whole; the rest is optional.
      return std::nullopt;
    }
    if (f2 & 0x01) {
      p.filter_count = r.u8();
      if (!skip_filters(r, p.filter_count)) return p;
    }
    if (f2 & 0x02) {
      p.blend_mode = r.u8();
      if (r.failed) p.blend_mode.reset();
    }
    if (f2 & 0x04) {
      p.cache_as_bitmap = r.u8();
      if (r.failed) p.cache_as_bitmap.reset();
    }
    if (f2 & 0x20) {
      p.visible = r.u8();
      if (r.failed) p.visible.reset();
    }
    return p;
  }

  // Filters have fixed sizes per kind except the gradient and convolution ones.
  static bool skip_filters(Bits& r, unsigned count) {
    for (unsigned i = 0; i < count && !r.failed; ++i) {
      const std::uint8_t id = r.u8();
      switch (id) {
        case 0: r.skip_bytes(23); break;  // drop shadow
        case 1: r.skip_bytes(9); break;   // blur
        case 2: r.skip_bytes(15); break;  // glow
        case 3: r.skip_bytes(27); break;  // bevel
        case 4:                           // gradient glow
        case 7: {                         // gradient bevel
          const std::size_t n = r.u8();
          r.skip_bytes(n * 5 + 19);
          break;
        }
        case 5: {  // convolution
          const std::size_t mx = r.u8(), my = r.u8();
          r.skip_bytes(8 + 4 * mx * my + 5);
          break;
        }
        case 6: r.skip_bytes(80); break;  // colour matrix
        default: return false;            // unknown: the rest of the tag is unreadable
      }
    }
    return !r.failed;
  }
};

}  // namespace

Matrix operator*(const Matrix& o, const Matrix& i) {
  Matrix m;
  m.a = o.a * i.a + o.c * i.b;
  m.b = o.b * i.a + o.d * i.b;
  m.c = o.a * i.c + o.c * i.d;
  m.d = o.b * i.c + o.d * i.d;
  m.tx = o.a * i.tx + o.c * i.ty + o.tx;
  m.ty = o.b * i.tx + o.d * i.ty + o.ty;
  return m;
}

std::optional<Matrix> inverse(const Matrix& m) {
  const double det = m.a * m.d - m.b * m.c;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return std::nullopt;
  Matrix r;
  r.a = m.d / det;
  r.b = -m.b / det;
  r.c = -m.c / det;
  r.d = m.a / det;
  r.tx = -(r.a * m.tx + r.c * m.ty);
  r.ty = -(r.b * m.tx + r.d * m.ty);
  return r;
}

Rgba apply(const ColorTransform& cx, Rgba c) {
  const auto ch = [](int v, std::int32_t mult, std::int32_t add) {
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(std::int64_t{v} * mult / 256 + add, 0, 255));
  };
  return Rgba{ch(c.r, cx.mult_r, cx.add_r), ch(c.g, cx.mult_g, cx.add_g), ch(c.b, cx.mult_b, cx.add_b),
              ch(c.a, cx.mult_a, cx.add_a)};
}

ColorTransform operator*(const ColorTransform& o, const ColorTransform& i) {
  const auto mul = [](std::int64_t a, std::int64_t b) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(a * b / 256, -(1 << 24), 1 << 24));
  };
  const auto add = [&](std::int64_t inner_add, std::int64_t outer_mult, std::int64_t outer_add) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(inner_add * outer_mult / 256 + outer_add, -(1 << 24), 1 << 24));
  };
  ColorTransform r;
  r.mult_r = mul(o.mult_r, i.mult_r);
  r.mult_g = mul(o.mult_g, i.mult_g);
  r.mult_b = mul(o.mult_b, i.mult_b);
  r.mult_a = mul(o.mult_a, i.mult_a);
  r.add_r = add(i.add_r, o.mult_r, o.add_r);
  r.add_g = add(i.add_g, o.mult_g, o.add_g);
  r.add_b = add(i.add_b, o.mult_b, o.add_b);
  r.add_a = add(i.add_a, o.mult_a, o.add_a);
  return r;
}

std::size_t read_matrix(std::span<const std::uint8_t> bytes, Matrix& out) {
  Bits r(bytes);
  out = matrix(r);
  return r.failed ? 0 : r.byte_pos();
}

std::size_t read_color_transform(std::span<const std::uint8_t> bytes, bool with_alpha, ColorTransform& out) {
  Bits r(bytes);
  out = color_transform(r, with_alpha);
  return r.failed ? 0 : r.byte_pos();
}

bool read_shape(std::span<const std::uint8_t> body, int version, Shape& out, const MovieLimits& limits) {
  out = Shape{};
  return shape_body(body, version, out, limits, limits.max_edges);
}

SwfStatus parse_movie(std::span<const std::uint8_t> bytes, Movie& out, const MovieLimits& limits) {
  out = Movie{};
  const SwfStatus st = parse_swf_header(bytes, out.header);
  if (st != SwfStatus::ok) return st;
  std::vector<std::uint8_t> inflated;
  std::span<const std::uint8_t> body = bytes.subspan(8);
  if (out.header.compressed) {
    bool cut = false;
    if (!inflate_all(body, inflated, limits.max_bytes, cut)) return SwfStatus::bad_compression;
    out.truncated = cut;
    body = inflated;
  } else if (body.size() > limits.max_bytes) {
    body = body.first(limits.max_bytes);
    out.truncated = true;
  }
  if (out.header.has_background) {
    out.background = Rgba{out.header.background_r, out.header.background_g, out.header.background_b, 255};
  }
  // Skip the stage RECT and the rate and count fields.
  const std::size_t nbits = body.empty() ? 0 : body[0] >> 3;
  const std::size_t rect = (5 + 4 * nbits + 7) / 8 + 4;
  if (body.size() < rect) return SwfStatus::too_short;
  Reader reader{out, limits};
  reader.tags(body.subspan(rect), out.timeline, false);
  out.timeline.declared_frames = out.header.frame_count;
  return SwfStatus::ok;
}

const char* tag_name(unsigned code) {
  switch (code) {
    case kEnd: return "End";
    case kShowFrame: return "ShowFrame";
    case kDefineShape: return "DefineShape";
    case kPlaceObject: return "PlaceObject";
    case kRemoveObject: return "RemoveObject";
    case 6: return "DefineBits";
    case 8: return "JPEGTables";
    case kSetBackgroundColor: return "SetBackgroundColor";
    case 10: return "DefineFont";
    case 11: return "DefineText";
    case 12: return "DoAction";
    case 14: return "DefineSound";
    case 15: return "StartSound";
    case 18: return "SoundStreamHead";
    case 19: return "SoundStreamBlock";
    case 20: return "DefineBitsLossless";
    case 21: return "DefineBitsJPEG2";
    case kDefineShape2: return "DefineShape2";
    case 24: return "Protect";
    case kPlaceObject2: return "PlaceObject2";
    case kRemoveObject2: return "RemoveObject2";
    case kDefineShape3: return "DefineShape3";
    case 33: return "DefineText2";
    case 35: return "DefineBitsJPEG3";
    case 36: return "DefineBitsLossless2";
    case 37: return "DefineEditText";
    case kDefineSprite: return "DefineSprite";
    case kFrameLabel: return "FrameLabel";
    case 45: return "SoundStreamHead2";
    case 46: return "DefineMorphShape";
    case 48: return "DefineFont2";
    case 56: return "ExportAssets";
    case 59: return "DoInitAction";
    case 69: return "FileAttributes";
    case kPlaceObject3: return "PlaceObject3";
    case 75: return "DefineFont3";
    case 77: return "Metadata";
    case 82: return "DoABC";
    case kDefineShape4: return "DefineShape4";
    case 86: return "DefineSceneAndFrameLabelData";
    case 89: return "StartSound2";
    default: return "?";
  }
}

}  // namespace brevaro::media::swf
